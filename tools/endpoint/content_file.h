#ifndef TOOLS_ENDPOINT_CONTENT_FILE_H_
#define TOOLS_ENDPOINT_CONTENT_FILE_H_

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "framework/base/unique_fd.h"

namespace endpoint {

/// A file opened read-only together with its status at opening. The descriptor closes with the
/// object; a closed object holds -1. Keeping the descriptor keeps the served bytes and their tag
/// together even when the path is replaced meanwhile.
class ContentFile {
 public:
  ContentFile() = default;
  /// Opens `path`; isOpen() tells whether that worked (a regular file is required).
  explicit ContentFile(const std::string& path);

  bool isOpen() const { return static_cast<bool>(fd_); }
  int fd() const { return fd_.get(); }
  const struct stat& info() const { return info_; }
  uint64_t size() const { return static_cast<uint64_t>(info_.st_size); }

 private:
  fw::UniqueFd fd_;
  struct stat info_ {};
};

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_CONTENT_FILE_H_
