#include "framework/os/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace fw {

namespace {

// Length of the path once trailing separators are dropped, keeping a lone leading "/".
size_t trimmedLength(const std::string& path) {
  size_t length = path.size();
  while (length > 1 && path[length - 1] == '/') {
    --length;
  }
  return length;
}

}  // namespace

std::string appendPathComponent(const std::string& path, const std::string& component) {
  if (path.empty()) {
    return component;
  }
  std::string result = path.substr(0, trimmedLength(path));
  if (result != "/") {
    result += '/';
  }
  result += component;
  return result;
}

std::string deletingLastPathComponent(const std::string& path) {
  const std::string trimmed = path.substr(0, trimmedLength(path));
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos) {
    return "";
  }
  if (slash == 0) {
    return "/";
  }
  return trimmed.substr(0, trimmedLength(trimmed.substr(0, slash)));
}

std::string lastPathComponent(const std::string& path) {
  std::string trimmed = path.substr(0, trimmedLength(path));
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos || trimmed == "/") {
    return trimmed;
  }
  return trimmed.substr(slash + 1);
}

std::string readSymlink(const std::string& path) {
  // readlink() does not say how long the target is: grow the buffer until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) {
      return "";
    }
    if (static_cast<size_t>(length) < buffer.size()) {
      return {buffer.data(), static_cast<size_t>(length)};
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool fileExistsAtPath(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool directoryExistsAtPath(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool regularFileExistsAtPath(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool regularFileInDirectoryAtPath(const std::string& directory, const std::string& name) {
  const size_t end = directory.find_last_not_of('/');
  const std::string trimmed = end == std::string::npos ? directory : directory.substr(0, end + 1);
  struct stat info {};
  return ::lstat(trimmed.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ::lstat((trimmed + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string temporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') {
    return tmpdir;
  }
  return "/tmp";
}

}  // namespace fw
