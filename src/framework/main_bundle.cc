#include "framework/main_bundle.h"

#include "framework/paths.h"

namespace fw {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::optional<Bundle> bundleForExecutable(const std::string& executablePath) {
  if (executablePath.empty()) {
    return std::nullopt;
  }
  const std::string executableDir = deletingLastPathComponent(executablePath);
  const std::string contentsDir = deletingLastPathComponent(executableDir);
  const std::string bundleDir = deletingLastPathComponent(contentsDir);
  const std::string bundleName = lastPathComponent(bundleDir);
  if (lastPathComponent(executableDir) == "MacOS" && lastPathComponent(contentsDir) == "Contents" &&
      bundleName.size() > 4 && endsWith(bundleName, ".app")) {
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
