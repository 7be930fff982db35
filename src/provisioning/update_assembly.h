#ifndef SRC_PROVISIONING_UPDATE_ASSEMBLY_H_
#define SRC_PROVISIONING_UPDATE_ASSEMBLY_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// An update that fetches only what changed: the new archive's end (its central directory) has
// been fetched into the file that will hold it, at its place; every entry whose local record is
// the same as one of the kept archive's is copied from there, and the rest is fetched with range
// requests, so that the file becomes the new archive byte for byte. It is then checked as any
// downloaded archive is.

/// Byte ranges to fetch, first and last inclusive, into the file at their places; true when
/// they are all there.
using FetchRanges =
    std::function<bool(const std::vector<std::pair<uint64_t, uint64_t>>& ranges, std::string* why)>;

/// Makes the file `fd`, which holds the last `tailLength` bytes of an archive of `length` bytes
/// at their places, the whole archive, from the archive kept at `keptPath` and what `fetch`
/// brings. False, with `why`, when that cannot be done safely (an archive that this cannot read,
/// a kept archive that is missing, too many ranges, a fetch that failed): the caller then
/// fetches the archive whole. `fetched` adds up the bytes asked for.
bool assembleFromKept(int fd, uint64_t length, uint64_t tailLength, const std::string& keptPath,
                      const FetchRanges& fetch, uint64_t* fetched, std::string* why);

#endif  // SRC_PROVISIONING_UPDATE_ASSEMBLY_H_
