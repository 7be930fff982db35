#ifndef SRC_PLATFORM_INSTALL_LOCATIONS_H_
#define SRC_PLATFORM_INSTALL_LOCATIONS_H_

#include <string>

// Where everything lives. Every function computes its answer afresh from the environment, the
// main bundle and the file system; none reports anything. An empty result means "no such path".

/// The main bundle's bundle directory; without a main bundle, the target of /proc/self/exe.
std::string getPathToExecutable();

/// getPathToExecutable() without its last component (the last "/" or backslash and what
/// follows); the whole path when it holds no separator; empty when the path is empty.
std::string getDirectoryOfExecutable();

/// The directory that holds the resources shipped with the program: the main bundle's resource
/// directory, else its bundle directory; without a main bundle, getDirectoryOfExecutable().
std::string getBundleLocation();

/// The install agent shipped in the bundle's resources: "InstallerForMac" when it exists, else
/// the path of "InstallAgent.zip" (whether or not it exists); empty without a resource directory.
std::string getDefaultInstallAgentLocation();

/// The per-user install agent cache below HOME ("/tmp" when HOME is unset or empty), always
/// ending in "/".
std::string getInstallAgentCacheDir();

/// The cache's install agent directory, ending in "/", while it is a directory (no symbolic link)
/// holding the entry point as a regular file (no symbolic link either); else empty.
std::string installAgentDirOnDisk();

/// The path of the entry point "install" inside the given directory.
std::string getInstallAgentExecutable(std::string directory);

#endif  // SRC_PLATFORM_INSTALL_LOCATIONS_H_
