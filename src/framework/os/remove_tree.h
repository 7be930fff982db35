#ifndef SRC_FRAMEWORK_OS_REMOVE_TREE_H_
#define SRC_FRAMEWORK_OS_REMOVE_TREE_H_

#include <string>

namespace fw {

/// Removes whatever is at the path, a directory with all its contents however deep. Symbolic
/// links are removed, never followed, the last component's too, even when the path ends in "/".
/// Directories that the user owns but may not enter or change are made accessible first. Returns
/// true when nothing is left at the path (also when nothing was there).
bool removeItemAtPath(const std::string& path);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_REMOVE_TREE_H_
