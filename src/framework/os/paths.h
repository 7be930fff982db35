#ifndef SRC_FRAMEWORK_OS_PATHS_H_
#define SRC_FRAMEWORK_OS_PATHS_H_

#include <string>

namespace fw {

/// Joins a path and a component with exactly one "/" between them: trailing separators of the
/// path are dropped first (a path of only separators stays "/"). An empty path gives the
/// component unchanged.
std::string appendPathComponent(const std::string& path, const std::string& component);

/// The path without its last component and the separators before it ("/a/b" gives "/a", "/a"
/// gives "/", "a" gives ""). Trailing separators are ignored.
std::string deletingLastPathComponent(const std::string& path);

/// The last component of the path, trailing separators ignored ("/a/b/" gives "b").
std::string lastPathComponent(const std::string& path);

/// The target of a symbolic link, whole, however long; empty when it cannot be read.
std::string readSymlink(const std::string& path);

/// Whether anything exists at the path (a stat() that succeeds).
bool fileExistsAtPath(const std::string& path);

/// Whether a directory exists at the path (symbolic links followed).
bool directoryExistsAtPath(const std::string& path);

/// Whether a regular file exists at the path (symbolic links followed).
bool regularFileExistsAtPath(const std::string& path);

/// Whether the path names a directory and, inside it, a regular file named `name`, neither of
/// them a symbolic link (the directories above the last one may be).
bool regularFileInDirectoryAtPath(const std::string& directory, const std::string& name);

/// The user's temporary-files directory: TMPDIR when it is set and not empty, else "/tmp".
std::string temporaryDirectory();

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_PATHS_H_
