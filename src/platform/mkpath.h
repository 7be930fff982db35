#ifndef SRC_PLATFORM_MKPATH_H_
#define SRC_PLATFORM_MKPATH_H_

#include <string>

/// Creates every missing directory along the path, outermost first, each with the given mode
/// (subject to the umask). Returns 0 when every component is a directory afterwards; -1 when a
/// component exists and is not a directory (errno ENOTDIR) or cannot be created (errno from
/// mkdir). Nothing after the failing component is touched.
int mkpath(std::string path, unsigned short mode);

#endif  // SRC_PLATFORM_MKPATH_H_
