#include "provisioning/cache_install.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "framework/base/dir_stream.h"
#include "framework/os/durable.h"
#include "framework/os/early_writeback.h"
#include "framework/os/exchange_paths.h"
#include "framework/os/paths.h"
#include "framework/os/remove_tree.h"
#include "platform/install_locations.h"
#include "platform/shared_constants.h"
#include "provisioning/cache_lock.h"
#include "provisioning/cache_validation.h"
#include "provisioning/unpack.h"

namespace {

std::string agentDirIn(const std::string& cacheDir) {
  return cacheDir + INSTALL_AGENT_DIR;
}

// A stored validation string goes into a request header only when it is a well-formed header
// value: visible characters, blanks and tabs, and bytes from 0x80 up; no control character.
bool isUsableInHeader(const std::string& value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte != '\t' && (byte < 0x20 || byte == 0x7f)) {
      return false;
    }
  }
  return !value.empty();
}

std::string failedCall(const std::string& call, const std::string& first,
                       const std::string& second) {
  return call + "(" + first + ", " + second + "): " + std::strerror(errno);
}

// Where the file system cannot exchange two paths (FUSE, NFS, CIFS), or the kernel is too old.
bool exchangeUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;  // ENOTSUP is EOPNOTSUPP
}

// Under the cache lock, exclusive. Moves `from` to `to` in one step, whatever `to` holds:
// renaming onto an empty directory or nothing works as it is; onto a full one, or onto anything
// that is no directory (a file, a symbolic link), the two are exchanged and the old one removed,
// a link as the link. Where they cannot be exchanged, the old one is renamed aside first, under
// a staging name that nobody locks: should this run die before removing it, the next writer does.
// False, with the failed call in `error`, when `from` is not in place.
bool replaceDirectory(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) {
    return true;
  }
  if (errno != ENOTEMPTY && errno != EEXIST && errno != ENOTDIR) {
    *error = failedCall("rename", from, to);
    return false;
  }
  if (fw::exchangePaths(from, to)) {
    fw::removeItemAtPath(from);  // now the old install agent
    return true;
  }
  if (!exchangeUnsupported(errno)) {
    *error = failedCall("renameat2", from, to);
    return false;
  }
  // The staging directory's name is unique in the cache: with a suffix, so is this one's.
  const std::string aside = from + "-old";
  if (::rename(to.c_str(), aside.c_str()) != 0) {
    *error = failedCall("rename", to, aside);
    return false;
  }
  const bool moved = ::rename(from.c_str(), to.c_str()) == 0;
  if (!moved) {
    *error = failedCall("rename", from, to);
  }
  fw::removeItemAtPath(aside);
  return moved;
}

void discardStaging(const std::string& staging) {
  fw::removeItemAtPath(staging);
}

const char* const kStagingPrefix = "installagent.staging-";

// A fresh staging directory, locked as this run's for as long as the lock is held. It is made
// under the cache lock, shared: a writer reclaims abandoned ones under the lock exclusive, so it
// never finds one between its making and its lock.
Staging createStaging(const std::string& cacheDir) {
  Staging staging;
  cache_lock::lockShared(cacheDir);
  std::string pattern = cacheDir + kStagingPrefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) {
    staging.lock.reset(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (staging.lock && ::flock(staging.lock.get(), LOCK_EX | LOCK_NB) == 0) {
      staging.path = pattern;
    } else {
      discardStaging(pattern);
    }
  }
  cache_lock::unlock();
  return staging;
}

// Under the cache lock, exclusive: removes what runs that are gone (killed, say) left in the
// cache: staging directories that nobody holds, and validation strings (and signers) that were
// never renamed into place. Links and other entries of those names go too, never followed.
void removeAbandonedEntries(const std::string& cacheDir) {
  std::vector<std::string> abandoned;
  {
    fw::DirStream dir(::opendir(cacheDir.c_str()));
    while (const dirent* entry = dir.next()) {
      const std::string name = entry->d_name;
      if (name.starts_with(VALIDATION_STRING_FILE + ".") || name.starts_with(".signedby.") ||
          name.starts_with(".freshness.")) {
        abandoned.push_back(name);
      } else if (name.starts_with(kStagingPrefix)) {
        const fw::UniqueFd fd(::openat(::dirfd(dir.get()), name.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
          abandoned.push_back(name);
        }
      }
    }
  }
  for (const std::string& name : abandoned) {
    fw::removeItemAtPath(cacheDir + name);
  }
}

bool isTrusted(const std::string& signer, const std::vector<std::string>& trustedSigners) {
  return trustedSigners.empty() ||
         std::find(trustedSigners.begin(), trustedSigners.end(), signer) != trustedSigners.end();
}

bool signerTrusted(const std::string& cacheDir, const std::vector<std::string>& trustedSigners) {
  return isTrusted(readSigner(cacheDir), trustedSigners);
}

}  // namespace

std::string cachedValidationString(const std::string& cacheDir,
                                   const std::vector<std::string>& trustedSigners) {
  if (installAgentDirOnDisk().empty() || !signerTrusted(cacheDir, trustedSigners)) {
    return "";
  }
  const std::string stored = readValidationString(cacheDir);
  return isUsableInHeader(stored) ? stored : "";
}

bool keepCachedInstallAgentIfCurrent(const std::string& cacheDir,
                                     const std::optional<std::string>& validationString,
                                     const std::vector<std::string>& trustedSigners) {
  if (installAgentDirOnDisk().empty()) {
    return false;
  }
  // Held from here on, the install agent found current stays in place until this process ends:
  // no other run replaces it while it is started and runs.
  cache_lock::lockShared(cacheDir);
  const std::string agentDir = installAgentDirOnDisk();
  if (!agentDir.empty() && validationString && isCacheValid(cacheDir, *validationString) &&
      signerTrusted(cacheDir, trustedSigners)) {
    return true;
  }
  cache_lock::unlock();
  // Out of date: its validation string goes with it, so that it can describe no other install
  // agent. One that another run is using stays until a download takes its place.
  if (!agentDir.empty() && cache_lock::tryLockExclusive(cacheDir)) {
    fw::removeItemAtPath(agentDir);
    removeValidationString(cacheDir);
    writeSigner(cacheDir, "");
    cache_lock::unlock();
  }
  return false;
}

bool keepCachedInstallAgentIfReusable(const std::string& cacheDir, const std::string& url,
                                      const std::vector<std::string>& trustedSigners, Reuse reuse) {
  if (installAgentDirOnDisk().empty()) {
    return false;
  }
  cache_lock::lockShared(cacheDir);
  const std::optional<Freshness> record = fromRecordText(readFreshnessRecord(cacheDir));
  if (record && record->url == url && allows(*record, reuse, std::time(nullptr)) &&
      !installAgentDirOnDisk().empty() && isCacheValid(cacheDir, record->validationString) &&
      readSigner(cacheDir) == record->signer && isTrusted(record->signer, trustedSigners)) {
    return true;
  }
  cache_lock::unlock();
  return false;
}

Staging unpackIntoStaging(const std::string& archive, const std::string& cacheDir,
                          ReportFn report) {
  Staging staging = createStaging(cacheDir);
  if (staging.path.empty()) {
    return {};
  }
  bool unpacked = false;
  {
    // Its files go to the disk while unzip makes the others: the sync before the swap then has
    // little left to write.
    const fw::EarlyWriteback writeback(staging.path);
    unpacked = unzipInstallAgent(archive, staging.path, "unzip", report);
  }
  if (!unpacked || !fw::regularFileInDirectoryAtPath(staging.path, "install")) {
    discardStaging(staging.path);
    return {};
  }
  return staging;
}

bool installStagedInstallAgent(Staging staging, const std::string& cacheDir,
                               const std::optional<std::string>& validationString,
                               const std::string& signer, const std::string& freshnessRecord,
                               const std::function<bool()>& giveUp, std::string* error) {
  std::string ignored;
  error = error != nullptr ? error : &ignored;
  if (giveUp() || !cache_lock::lockExclusive(cacheDir, giveUp)) {
    discardStaging(staging.path);
    return false;
  }
  removeAbandonedEntries(cacheDir);
  bool installed = false;
  if (validationString && !installAgentDirOnDisk().empty() &&
      isCacheValid(cacheDir, *validationString) && readSigner(cacheDir) == signer) {
    discardStaging(staging.path);  // another run has just put this very install agent in place
    installed = true;
  } else {
    // The record goes before the swap and comes after it, and the new install agent is on the
    // disk before it takes the old one's place: even after a power loss the record never
    // describes an install agent that the cache does not wholly hold.
    removeValidationString(cacheDir);
    writeSigner(cacheDir, "");
    if (!fw::syncFileSystemOf(staging.path)) {
      *error = "syncfs(" + staging.path + "): " + std::strerror(errno);
    } else if (replaceDirectory(staging.path, agentDirIn(cacheDir), error)) {
      installed = fw::syncDirectory(cacheDir);
      if (!installed) {
        *error = "fsync(" + cacheDir + "): " + std::strerror(errno);
      }
    }
    if (installed) {
      writeSigner(cacheDir, signer);
      writeFreshnessRecord(cacheDir, freshnessRecord);
      writeValidationString(cacheDir, validationString.value_or(""));
    } else {
      discardStaging(staging.path);
    }
  }
  // What was put in place is used from here on: keep it, as above, until this process ends.
  if (installed) {
    cache_lock::downgrade();
  } else {
    cache_lock::unlock();
  }
  return installed;
}
