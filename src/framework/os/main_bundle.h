#ifndef SRC_FRAMEWORK_OS_MAIN_BUNDLE_H_
#define SRC_FRAMEWORK_OS_MAIN_BUNDLE_H_

#include <optional>
#include <string>

namespace fw {

/// The bundle that the running executable belongs to.
struct Bundle {
  std::string bundlePath;    // the bundle directory
  std::string resourcePath;  // the resource directory; empty when the bundle has none
};

/// The bundle of the executable at the given path. An executable at X.app/Contents/MacOS/<name>
/// belongs to X.app, whose resources are X.app/Contents/Resources when that directory exists.
/// Any other executable's bundle and resource directory are the directory that holds it.
/// Empty for an empty path.
std::optional<Bundle> bundleForExecutable(const std::string& executablePath);

/// The bundle of this process's executable (found through /proc/self/exe, afresh on every call);
/// none when the executable's path cannot be read.
std::optional<Bundle> mainBundle();

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_MAIN_BUNDLE_H_
