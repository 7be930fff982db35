#include "platform/mkpath.h"

#include <sys/stat.h>

#include <cerrno>

namespace {

// Makes sure that `prefix` is a directory. Another process may create it between the test and
// mkdir(): that counts as success as long as a directory is there in the end.
bool ensureDirectory(const std::string& prefix, mode_t mode) {
  struct stat info {};
  if (::stat(prefix.c_str(), &info) != 0) {
    if (::mkdir(prefix.c_str(), mode) == 0) {
      return true;
    }
    const int mkdirError = errno;
    if (mkdirError == EEXIST && ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return true;
    }
    errno = mkdirError == EEXIST ? ENOTDIR : mkdirError;
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

}  // namespace

int mkpath(std::string path, unsigned short mode) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  size_t scan = 0;
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', scan)) {
    if (slash != scan && !ensureDirectory(path.substr(0, slash), mode)) {
      return -1;
    }
    scan = slash + 1;
  }
  if (scan < path.size() && !ensureDirectory(path, mode)) {
    return -1;
  }
  return 0;
}
