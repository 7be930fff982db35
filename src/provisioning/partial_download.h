#ifndef SRC_PROVISIONING_PARTIAL_DOWNLOAD_H_
#define SRC_PROVISIONING_PARTIAL_DOWNLOAD_H_

#include <cstdint>
#include <optional>
#include <string>

#include "framework/base/unique_fd.h"

// The archive of a download under way lies in the cache directory, ".partial", with a record of
// what it is the start of, ".partialrecord" (the URL asked, the strong ETag, the whole length),
// so that a transfer that breaks off, or a run that is killed, leaves bytes that the next run
// asks only the rest for. The run that writes it holds a lock on it (flock, which ends with the
// process however it ends); a partial that nobody holds is the next run's, to resume or to empty.
// A partial is never unpacked or run: only a whole download is, and everything resumed is checked
// as a whole download is (its signature, its length, every entry's CRC).

/// The cache's partial, taken by this run.
struct PartialDownload {
  fw::UniqueFd file;      ///< none: another run is writing it (or it cannot be made)
  int64_t keptBytes = 0;  ///< the bytes to ask only the rest after; 0: none
  std::string etag;       ///< the strong ETag that they are the start of
  int64_t length = -1;    ///< the whole archive's length
};

/// Opens (making it if need be) and locks the cache's partial. When `resume` and its record says
/// that it holds the first bytes of `url`'s archive (a strong ETag, fewer bytes than the whole
/// length), they are kept for resuming; otherwise the partial is emptied and its record removed.
PartialDownload takePartialDownload(const std::string& cacheDir, const std::string& url,
                                    bool resume = true);

/// At a response's first data: records that the partial now holds the start of `url`'s archive
/// of `length` bytes with `etag`; where that cannot be resumed (no ETag, a weak one, an unknown
/// length) the record goes instead. What it records is a hint: a record that does not fit what
/// is resumed costs only bytes, since the result is checked.
void recordPartialDownload(const std::string& cacheDir, const std::string& url,
                           const std::optional<std::string>& etag, int64_t length);

/// Removes the partial and its record: the archive is whole and used, or its bytes do not fit.
void dropPartialDownload(const std::string& cacheDir);

/// Whether an ETag is strong: only a strong one may ask for a range (If-Range).
bool isStrongEtag(const std::string& etag);

#endif  // SRC_PROVISIONING_PARTIAL_DOWNLOAD_H_
