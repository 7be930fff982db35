#include "platform/temp_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "framework/base/dir_stream.h"
#include "framework/os/paths.h"
#include "framework/os/remove_tree.h"

namespace {

// Marks a directory as a run's working directory, which its run holds locked while it lives.
const char* const kRunMark = ".bootstrap-installer-run";

// Removes what runs that are gone (killed, say) left of their working directories: those that
// bear the mark, belong to this user and are held by nobody. Nothing else in the directory is
// touched, and no link followed.
void removeAbandonedDirectories(const std::string& parent) {
  std::vector<std::string> abandoned;
  {
    fw::DirStream dir(::opendir(parent.c_str()));
    while (const dirent* entry = dir.next()) {
      const std::string name = entry->d_name;
      if (name.size() != 8 || !name.starts_with("zr")) {
        continue;
      }
      const fw::UniqueFd fd(::openat(::dirfd(dir.get()), name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      struct stat mark {};
      if (fd && ::fstatat(fd.get(), kRunMark, &mark, AT_SYMLINK_NOFOLLOW) == 0 &&
          mark.st_uid == ::getuid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        abandoned.push_back(name);
      }
    }
  }
  for (const std::string& name : abandoned) {
    fw::removeItemAtPath(fw::appendPathComponent(parent, name));
  }
}

}  // namespace

TempDir::TempDir(std::string /*name*/) {
  const std::string parent = fw::temporaryDirectory();
  removeAbandonedDirectories(parent);
  std::string pattern = fw::appendPathComponent(parent, "zrXXXXXX");
  if (::mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  lock_.reset(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const fw::UniqueFd mark(
      lock_ && ::flock(lock_.get(), LOCK_EX) == 0
          ? ::openat(lock_.get(), kRunMark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600)
          : -1);
  if (!mark) {
    fw::removeItemAtPath(pattern);
    lock_.reset();
    return;
  }
  dir = pattern;
}

TempDir::~TempDir() {
  if (!dir.empty()) {
    fw::removeItemAtPath(dir);
  }
}

std::string TempDir::getDir() const {
  return dir;
}
