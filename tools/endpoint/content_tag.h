#ifndef TOOLS_ENDPOINT_CONTENT_TAG_H_
#define TOOLS_ENDPOINT_CONTENT_TAG_H_

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace endpoint {

/// The strong entity tag of the bytes of the open file `fd` from offset 0 to its end: `"`, the
/// first 32 lowercase hex digits of their SHA-256, `"`. Reads with pread in 256 KiB pieces;
/// empty when reading fails.
std::string computeContentTag(int fd);

/// Remembers each file's tag so that one content version is read once. A tag is reused while
/// the file's device, inode, size, mtime and ctime stay the same, and only once it was computed
/// more than a second after the last change: a rewrite within one timestamp tick of hashing
/// would leave the file's status unchanged.
class ContentTagCache {
 public:
  /// The tag of the open regular file `fd`, whose status is `info`. Empty when reading fails.
  /// Safe to call from several threads; hashing happens outside the lock.
  std::string tagOf(int fd, const struct stat& info);

 private:
  struct Entry {
    struct stat info {};
    timespec hashedAt{};
    std::string tag;
  };

  std::mutex mutex_;
  std::map<std::pair<dev_t, ino_t>, Entry> entries_;
};

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_CONTENT_TAG_H_
