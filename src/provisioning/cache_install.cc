#include "provisioning/cache_install.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framework/paths.h"
#include "framework/remove_tree.h"
#include "platform/install_locations.h"
#include "platform/shared_constants.h"
#include "provisioning/cache_validation.h"
#include "provisioning/unpack.h"

namespace {

std::string agentDirIn(const std::string& cacheDir) {
  return cacheDir + INSTALL_AGENT_DIR;
}

// Moves `from` to `to` in one step, whatever `to` holds: renaming onto an empty directory or
// nothing works as it is; onto a full one, the two are exchanged and the old one removed.
bool replaceDirectory(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) {
    return true;
  }
  if (errno != ENOTEMPTY && errno != EEXIST) {
    return false;
  }
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) {
    return false;
  }
  fw::removeItemAtPath(from);  // now the old install agent
  return true;
}

}  // namespace

std::string unpackIntoStaging(const std::string& archive, const std::string& cacheDir,
                              ReportFn report) {
  std::string pattern = agentDirIn(cacheDir) + ".staging-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    return "";
  }
  std::string staging = pattern;
  if (!unzipInstallAgent(archive, staging, "unzip", report) ||
      !fw::regularFileExistsAtPath(getInstallAgentExecutable(staging))) {
    discardStaging(staging);
    return "";
  }
  return staging;
}

bool commitInstallAgent(const std::string& staging, const std::string& cacheDir,
                        const std::string& validationString) {
  removeValidationString(cacheDir);
  if (!replaceDirectory(staging, agentDirIn(cacheDir))) {
    discardStaging(staging);
    return false;
  }
  writeValidationString(cacheDir, validationString);
  return true;
}

void discardStaging(const std::string& staging) {
  if (!staging.empty()) {
    fw::removeItemAtPath(staging);
  }
}
