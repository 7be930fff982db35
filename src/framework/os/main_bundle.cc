#include "framework/os/main_bundle.h"

#include "framework/os/paths.h"

namespace fw {

std::optional<Bundle> bundleForExecutable(const std::string& executablePath) {
  if (executablePath.empty()) {
    return std::nullopt;
  }
  const std::string executableDir = deletingLastPathComponent(executablePath);
  const std::string contentsDir = deletingLastPathComponent(executableDir);
  const std::string bundleDir = deletingLastPathComponent(contentsDir);
  const std::string bundleName = lastPathComponent(bundleDir);
  if (lastPathComponent(executableDir) == "MacOS" && lastPathComponent(contentsDir) == "Contents" &&
      bundleName.size() > 4 && bundleName.ends_with(".app")) {
    Bundle bundle{bundleDir, appendPathComponent(contentsDir, "Resources")};
    if (!directoryExistsAtPath(bundle.resourcePath)) {
      bundle.resourcePath.clear();
    }
    return bundle;
  }
  return Bundle{executableDir, executableDir};
}

std::optional<Bundle> mainBundle() {
  return bundleForExecutable(readSymlink("/proc/self/exe"));
}

}  // namespace fw
