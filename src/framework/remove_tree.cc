#include "framework/remove_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace fw {

namespace {

bool removeEntry(int parentFd, const char* name);

// Empties the directory `name` inside parentFd. Its names are read in full before anything is
// removed, so the directory stream is closed again before recursing and only one descriptor
// per level stays open.
bool emptyDirectory(int parentFd, const char* name) {
  int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) {
    // An unpacked archive may hold directories without read or search permission.
    ::fchmodat(parentFd, name, S_IRWXU, 0);
    fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) {
    return false;
  }
  // Removing entries needs write and search permission on the directory itself.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && (info.st_mode & S_IRWXU) != S_IRWXU) {
    ::fchmod(fd, info.st_mode | S_IRWXU);
  }
  const int listFd = ::dup(fd);
  DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
  if (dir == nullptr) {
    if (listFd >= 0) {
      ::close(listFd);
    }
    ::close(fd);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string entryName = entry->d_name;
    if (entryName != "." && entryName != "..") {
      names.push_back(entryName);
    }
  }
  ::closedir(dir);
  bool removedAll = true;
  for (const std::string& entryName : names) {
    removedAll = removeEntry(fd, entryName.c_str()) && removedAll;
  }
  ::close(fd);
  return removedAll;
}

bool removeEntry(int parentFd, const char* name) {
  struct stat info {};
  if (::fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT;
  }
  if (!S_ISDIR(info.st_mode)) {
    return ::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
  }
  emptyDirectory(parentFd, name);
  return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

}  // namespace

bool removeItemAtPath(const std::string& path) {
  if (path.empty()) {
    return true;
  }
  return removeEntry(AT_FDCWD, path.c_str());
}

}  // namespace fw
