#include "framework/os/remove_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "framework/base/dir_stream.h"
#include "framework/base/unique_fd.h"

namespace fw {

namespace {

bool removeEntry(int parentFd, const char* name);

// Empties the directory `name` inside parentFd. Its names are read in full before anything is
// removed, so the directory stream is closed again before recursing and only one descriptor
// per level stays open.
bool emptyDirectory(int parentFd, const char* name) {
  UniqueFd fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd && errno == EACCES) {
    // An unpacked archive may hold directories without read or search permission.
    ::fchmodat(parentFd, name, S_IRWXU, 0);
    fd.reset(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!fd) {
    return false;
  }
  // Removing entries needs write and search permission on the directory itself.
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && (info.st_mode & S_IRWXU) != S_IRWXU) {
    ::fchmod(fd.get(), info.st_mode | S_IRWXU);
  }
  std::vector<std::string> names;
  {
    UniqueFd listFd(::dup(fd.get()));
    DirStream dir(listFd ? ::fdopendir(listFd.get()) : nullptr);
    if (!dir) {
      return false;
    }
    listFd.release();  // the stream owns it now
    while (const dirent* entry = dir.next()) {
      const std::string entryName = entry->d_name;
      if (entryName != "." && entryName != "..") {
        names.push_back(entryName);
      }
    }
  }
  bool removedAll = true;
  for (const std::string& entryName : names) {
    removedAll = removeEntry(fd.get(), entryName.c_str()) && removedAll;
  }
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
  // "link/" would name the link's target: the link itself is what goes.
  const size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) {
    return path.empty();
  }
  return removeEntry(AT_FDCWD, path.substr(0, end + 1).c_str());
}

}  // namespace fw
