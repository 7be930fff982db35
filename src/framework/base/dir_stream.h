#ifndef SRC_FRAMEWORK_BASE_DIR_STREAM_H_
#define SRC_FRAMEWORK_BASE_DIR_STREAM_H_

#include <dirent.h>

#include <utility>

namespace fw {

/// Owns one directory stream (a DIR*), closed when the owner ends. An empty owner holds null.
class DirStream {
 public:
  DirStream() = default;
  /// Takes over `dir` (null: nothing), as opendir() or fdopendir() gave it.
  explicit DirStream(DIR* dir) : dir_(dir) {}
  ~DirStream() {
    if (dir_ != nullptr) {
      ::closedir(dir_);
    }
  }
  DirStream(const DirStream&) = delete;
  DirStream& operator=(const DirStream&) = delete;
  DirStream(DirStream&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
  DirStream& operator=(DirStream&& other) noexcept {
    std::swap(dir_, other.dir_);
    return *this;
  }

  DIR* get() const { return dir_; }
  explicit operator bool() const { return dir_ != nullptr; }
  /// The next entry, or null at the end (or on an error).
  const dirent* next() { return dir_ != nullptr ? ::readdir(dir_) : nullptr; }

 private:
  DIR* dir_ = nullptr;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_BASE_DIR_STREAM_H_
