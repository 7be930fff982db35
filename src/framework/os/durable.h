#ifndef SRC_FRAMEWORK_OS_DURABLE_H_
#define SRC_FRAMEWORK_OS_DURABLE_H_

#include <string>
#include <string_view>

namespace fw {

// Making what was written survive a power loss, in the order that a reader relies on. Each
// function returns false, with errno set, when the system could not confirm it.

/// Writes everything of the file system that holds the path to its device: one syncfs(2),
/// which costs far less than a sync of every file of a tree of many small files.
bool syncFileSystemOf(const std::string& path);

/// Makes the entries of a directory (files added, renamed, removed in it) durable.
bool syncDirectory(const std::string& path);

/// Replaces the file at the path with `content` so that a reader, even after a power loss, finds
/// the old content or the new, whole: written beside it, synced, renamed over it (a symbolic
/// link there is replaced, not followed), and the directory synced. On failure nothing has
/// changed at the path and nothing is left beside it.
bool replaceFileDurably(const std::string& path, std::string_view content);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_DURABLE_H_
