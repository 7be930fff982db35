#include "platform/install_locations.h"

#include <cstdlib>

#include "framework/os/main_bundle.h"
#include "framework/os/paths.h"
#include "platform/shared_constants.h"

std::string getPathToExecutable() {
  if (const auto bundle = fw::mainBundle()) {
    return bundle->bundlePath;
  }
  // The whole target, not a fixed-size prefix: a cut path would name another directory.
  return fw::readSymlink("/proc/self/exe");
}

std::string getDirectoryOfExecutable() {
  std::string path = getPathToExecutable();
  if (path.empty()) {
    return "";
  }
  const size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) {
    return path;
  }
  return path.substr(0, separator);
}

std::string getBundleLocation() {
  if (const auto bundle = fw::mainBundle()) {
    return bundle->resourcePath.empty() ? bundle->bundlePath : bundle->resourcePath;
  }
  return getDirectoryOfExecutable();
}

std::string getDefaultInstallAgentLocation() {
  const auto bundle = fw::mainBundle();
  if (!bundle || bundle->resourcePath.empty()) {
    return "";
  }
  std::string shippedEntryPoint = fw::appendPathComponent(bundle->resourcePath, "InstallerForMac");
  if (fw::fileExistsAtPath(shippedEntryPoint)) {
    return shippedEntryPoint;
  }
  return fw::appendPathComponent(bundle->resourcePath, INSTALL_AGENT_ZIP);
}

std::string getInstallAgentCacheDir() {
  const char* home = std::getenv("HOME");
  std::string dir = (home != nullptr && *home != '\0') ? home : "/tmp";
  if (dir.size() > 1 && dir.back() != PATH_SEPARATOR[0]) {
    dir += PATH_SEPARATOR;
  }
  return dir + INSTALL_AGENT_CACHE_PATH;
}

std::string installAgentDirOnDisk() {
  std::string dir = getInstallAgentCacheDir() + INSTALL_AGENT_DIR + PATH_SEPARATOR;
  // Only a directory of its own with a file "install" in it is an install agent: a link there
  // would run someone else's files, and an entry point that is no file would run nothing.
  if (fw::regularFileInDirectoryAtPath(dir, "install")) {
    return dir;
  }
  return "";
}

std::string getInstallAgentExecutable(std::string directory) {
  if (!directory.empty() && directory.back() != PATH_SEPARATOR[0]) {
    directory += PATH_SEPARATOR;
  }
  return directory + "install";
}
