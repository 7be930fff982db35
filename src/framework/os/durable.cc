#include "framework/os/durable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "framework/base/unique_fd.h"
#include "framework/os/paths.h"

namespace fw {

namespace {

bool writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0 && errno != EINTR) {
      return false;
    }
    content.remove_prefix(written < 0 ? 0 : static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

bool syncFileSystemOf(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd && ::syncfs(fd.get()) == 0;
}

bool syncDirectory(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd && ::fsync(fd.get()) == 0;
}

bool replaceFileDurably(const std::string& path, std::string_view content) {
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) {
    return false;
  }
  if (!writeAll(fd.get(), content) || ::fsync(fd.get()) != 0 || !fd.close() ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
  }
  return syncDirectory(deletingLastPathComponent(path));
}

}  // namespace fw
