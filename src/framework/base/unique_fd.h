#ifndef SRC_FRAMEWORK_BASE_UNIQUE_FD_H_
#define SRC_FRAMEWORK_BASE_UNIQUE_FD_H_

#include <unistd.h>

#include <utility>

namespace fw {

/// Owns one file descriptor, closed when the owner ends or is reset. An empty owner holds -1.
class UniqueFd {
 public:
  UniqueFd() = default;
  /// Takes over `fd` (-1: nothing).
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  /// Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  /// Closes the descriptor held, if any, and holds `fd`. Not retried on EINTR: on Linux the
  /// descriptor is gone whatever close() says.
  void reset(int fd = -1) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = fd;
  }
  /// Closes the descriptor now; false, with errno set, when close() reports a failure (for a
  /// file written to, the last chance to hear of a full disk).
  bool close() {
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_BASE_UNIQUE_FD_H_
