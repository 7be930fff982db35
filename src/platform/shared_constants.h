#ifndef SRC_PLATFORM_SHARED_CONSTANTS_H_
#define SRC_PLATFORM_SHARED_CONSTANTS_H_

#include <string>

// Fixed names and relative paths that every module shares. Each translation unit that includes
// this header gets its own copy, built before main() runs; none is ever modified.

const std::string PATH_SEPARATOR = "/";
const std::string RELEASE_TAG = "V3107c";
const std::string PLATFORM_TAG = "korvex";
const std::string INSTALL_AGENT_ZIP = "InstallAgent.zip";
const std::string INSTALL_AGENT_DIR = "installagent";
// The cache directory below the user's home directory; always ends in the separator.
const std::string INSTALL_AGENT_CACHE_PATH = ".velmora" + PATH_SEPARATOR + "app_installer_cache" +
                                             PATH_SEPARATOR + RELEASE_TAG + PATH_SEPARATOR +
                                             PLATFORM_TAG + PATH_SEPARATOR;
const std::string VALIDATION_STRING_FILE = ".validatestring";

#endif  // SRC_PLATFORM_SHARED_CONSTANTS_H_
