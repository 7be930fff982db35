#ifndef SRC_PROVISIONING_KEPT_ARCHIVE_H_
#define SRC_PROVISIONING_KEPT_ARCHIVE_H_

#include <cstdint>
#include <string>

// The last archive installed stays in the cache beside its install agent, ".archive", so that
// when the server has a new one, the entries that did not change are taken from it and only the
// rest is fetched. It costs its size on the disk: it is not kept above kMaxKeptArchiveSize, nor
// where keeping it would leave the file system less free space than its size. What is taken
// from it is checked with the new archive as a whole (its signature, every entry's CRC), so a
// kept archive that was changed on the disk costs only the bytes fetched again.

/// An archive larger than this is not kept: its copy would cost the user more disk than an update
/// saves most of them in time.
inline constexpr int64_t kMaxKeptArchiveSize = int64_t{1} << 30;

std::string keptArchivePath(const std::string& cacheDir);

/// Whether an archive of `size` bytes, already written to the cache's file system, may stay there.
bool mayKeepArchive(const std::string& cacheDir, int64_t size);

/// The cache's partial, a whole archive whose install agent is now in place, becomes the kept
/// archive in the place of the one before, when mayKeepArchive() says so; otherwise both go.
void keepInstalledArchive(const std::string& cacheDir, int64_t size);

#endif  // SRC_PROVISIONING_KEPT_ARCHIVE_H_
