#include "provisioning/cache_install.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

// Moves `from` to `to` in one step, whatever `to` holds: renaming onto an empty directory or
// nothing works as it is; onto a full one, the two are exchanged and the old one removed.
bool replaceDirectory(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) {
    return true;
  }
  if ((errno != ENOTEMPTY && errno != EEXIST) || !fw::exchangePaths(from, to)) {
    return false;
  }
  fw::removeItemAtPath(from);  // now the old install agent
  return true;
}

void discardStaging(const std::string& staging) {
  fw::removeItemAtPath(staging);
}

}  // namespace

std::string cachedValidationString(const std::string& cacheDir) {
  if (installAgentDirOnDisk().empty()) {
    return "";
  }
  const std::string stored = readValidationString(cacheDir);
  return isUsableInHeader(stored) ? stored : "";
}

bool keepCachedInstallAgentIfCurrent(const std::string& cacheDir,
                                     const std::optional<std::string>& validationString) {
  if (installAgentDirOnDisk().empty()) {
    return false;
  }
  // Held from here on, the install agent found current stays in place until this process ends:
  // no other run replaces it while it is started and runs.
  cache_lock::lockShared(cacheDir);
  const std::string agentDir = installAgentDirOnDisk();
  if (!agentDir.empty() && validationString && isCacheValid(cacheDir, *validationString)) {
    return true;
  }
  cache_lock::unlock();
  // Out of date: its validation string goes with it, so that it can describe no other install
  // agent. One that another run is using stays until a download takes its place.
  if (!agentDir.empty() && cache_lock::tryLockExclusive(cacheDir)) {
    fw::removeItemAtPath(agentDir);
    removeValidationString(cacheDir);
    cache_lock::unlock();
  }
  return false;
}

std::string unpackIntoStaging(const std::string& archive, const std::string& cacheDir,
                              ReportFn report) {
  std::string pattern = agentDirIn(cacheDir) + ".staging-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    return "";
  }
  const std::string& staging = pattern;
  if (!unzipInstallAgent(archive, staging, "unzip", report) ||
      !fw::regularFileExistsAtPath(getInstallAgentExecutable(staging))) {
    discardStaging(staging);
    return "";
  }
  return staging;
}

bool installStagedInstallAgent(const std::string& staging, const std::string& cacheDir,
                               const std::optional<std::string>& validationString,
                               const std::function<bool()>& giveUp) {
  if (giveUp() || !cache_lock::lockExclusive(cacheDir, giveUp)) {
    discardStaging(staging);
    return false;
  }
  bool installed = false;
  if (validationString && !installAgentDirOnDisk().empty() &&
      isCacheValid(cacheDir, *validationString)) {
    discardStaging(staging);  // another run has just put this very install agent in place
    installed = true;
  } else {
    // The record goes before the swap and comes after it: it never describes another agent.
    removeValidationString(cacheDir);
    installed = replaceDirectory(staging, agentDirIn(cacheDir));
    if (installed) {
      writeValidationString(cacheDir, validationString.value_or(""));
    } else {
      discardStaging(staging);
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
