#include "provisioning/source_install_agent.h"

#include "download/download_bridge.h"
#include "framework/base/dir_stream.h"
#include "framework/os/paths.h"
#include "platform/install_locations.h"
#include "platform/mkpath.h"
#include "platform/shared_constants.h"
#include "provisioning/unpack.h"

namespace {

const std::string ZIP_SUFFIX = ".zip";
const std::string VERSIONED_PREFIX = "InstallAgent_";
const unsigned short CACHE_DIR_MODE = 0700;

// The first "InstallAgent_*.zip" in the directory, in the order the file system lists them;
// empty when there is none or the directory cannot be listed.
std::string findVersionedArchive(const std::string& directory) {
  fw::DirStream dir(::opendir(directory.c_str()));
  while (const dirent* entry = dir.next()) {
    const std::string name = entry->d_name;
    if (name.starts_with(VERSIONED_PREFIX) && name.ends_with(ZIP_SUFFIX)) {
      std::string archive = directory;
      archive += PATH_SEPARATOR;
      archive += name;
      return archive;
    }
  }
  return "";
}

std::string unpack(const std::string& archive, const std::string& target, ReportFn report) {
  if (!unzipInstallAgent(archive, target, "unzip", report)) {
    report("Failed to initialize the install agent.", true);
    return "";
  }
  return getInstallAgentExecutable(target);
}

}  // namespace

std::string sourceInstallAgent(std::string workingDir, std::string endpointUrl, ReportFn report) {
  std::string shipped = getDefaultInstallAgentLocation();
  if (shipped.size() > ZIP_SUFFIX.size() && shipped.ends_with(ZIP_SUFFIX)) {
    if (fw::fileExistsAtPath(shipped)) {
      return unpack(shipped, workingDir, report);
    }
  } else if (!shipped.empty() && fw::fileExistsAtPath(shipped)) {
    return shipped;
  }

  const size_t separator = shipped.find_last_of("/\\");
  const std::string searchDir =
      separator == std::string::npos ? shipped : shipped.substr(0, separator);
  const std::string versioned = findVersionedArchive(searchDir);
  if (!versioned.empty()) {
    return unpack(versioned, workingDir, report);
  }

  const std::string cacheTarget = getInstallAgentCacheDir() + INSTALL_AGENT_DIR;
  mkpath(cacheTarget, CACHE_DIR_MODE);
  const std::string downloadTarget = workingDir + PATH_SEPARATOR + INSTALL_AGENT_ZIP;
  // A URL with a NUL byte in it would reach the download cut short, as another, shorter URL:
  // it goes on as no URL at all, which fails as such.
  if (endpointUrl.find('\0') != std::string::npos) {
    endpointUrl.clear();
  }
  if (!downloadInstallAgentFromZR(downloadTarget.c_str(), endpointUrl.c_str(), report)) {
    return "";
  }
  const std::string cached = installAgentDirOnDisk();
  if (!cached.empty()) {
    return getInstallAgentExecutable(cached);
  }
  return unpack(downloadTarget, cacheTarget, report);
}
