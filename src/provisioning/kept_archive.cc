#include "provisioning/kept_archive.h"

#include <sys/statvfs.h>

#include <cstdio>

#include "framework/os/remove_tree.h"
#include "platform/shared_constants.h"
#include "provisioning/partial_download.h"

std::string keptArchivePath(const std::string& cacheDir) {
  return cacheDir + PATH_SEPARATOR + ".archive";
}

bool mayKeepArchive(const std::string& cacheDir, int64_t size) {
  struct statvfs space {};
  return size > 0 && size <= kMaxKeptArchiveSize && ::statvfs(cacheDir.c_str(), &space) == 0 &&
         static_cast<int64_t>(space.f_bavail) >= size / static_cast<int64_t>(space.f_frsize) + 1;
}

void keepInstalledArchive(const std::string& cacheDir, int64_t size) {
  const std::string partial = cacheDir + PATH_SEPARATOR + ".partial";
  if (!mayKeepArchive(cacheDir, size) ||
      ::rename(partial.c_str(), keptArchivePath(cacheDir).c_str()) != 0) {
    fw::removeItemAtPath(keptArchivePath(cacheDir));
  }
  dropPartialDownload(cacheDir);
}
