#ifndef SRC_PROVISIONING_CACHE_INSTALL_H_
#define SRC_PROVISIONING_CACHE_INSTALL_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/base/unique_fd.h"
#include "platform/report_fn.h"
#include "provisioning/freshness.h"

// What the download window asks of the per-user cache. The cache holds a whole install agent
// or none: a downloaded archive is unpacked into a staging directory beside the cache's install
// agent directory, and only an unpack that worked and holds the entry point takes that
// directory's place. Runs at the same time are kept apart by the cache lock
// (provisioning/cache_lock.h): an install agent that a run has found current is kept for it
// until the process ends.

/// The validation string of the cached install agent, to be sent as If-None-Match: empty when
/// the cache holds no install agent, or its stored string is not a well-formed header value
/// (visible characters, blanks, tabs and bytes from 0x80 up; no control byte), or, when
/// `trustedSigners` (key ids) are given, the install agent was not verified with one of them.
std::string cachedValidationString(const std::string& cacheDir,
                                   const std::vector<std::string>& trustedSigners);

/// At the first data of a download: true when the cache holds an install agent and
/// `validationString` (the response's, if it has one) equals the stored one. That install agent
/// is then kept for this run; when `trustedSigners` are given, it must also have been verified
/// with one of them. Otherwise an install agent there is out of date: it is removed
/// with its validation string, unless another run is using it (the download's install agent
/// takes its place later). With no install agent in the cache, nothing is read or removed.
bool keepCachedInstallAgentIfCurrent(const std::string& cacheDir,
                                     const std::optional<std::string>& validationString,
                                     const std::vector<std::string>& trustedSigners);

/// Before any request: true when the cache holds an install agent, and a freshness record of
/// its validation string and signer, for `url`, that lets it be used now as `reuse` asks (the
/// signer one of `trustedSigners`, when they are given). That install agent is then kept for
/// this run as keepCachedInstallAgentIfCurrent() keeps one. A record that cannot be read counts
/// as none.
bool keepCachedInstallAgentIfReusable(const std::string& cacheDir, const std::string& url,
                                      const std::vector<std::string>& trustedSigners, Reuse reuse);

/// A staging directory, and the lock on it that marks it as a living run's: one whose lock nobody
/// holds any more is removed by the next run that puts an install agent in place.
struct Staging {
  std::string path;  // empty: none
  fw::UniqueFd lock;
};

/// Unpacks the archive with `unzip` into a fresh staging directory inside the cache directory.
/// Returns it when the unpack worked and the entry point "install" is a regular file there;
/// otherwise removes what the unpack left and returns none. unzip's failure is reported
/// ("Failed to unzip the install agent").
Staging unpackIntoStaging(const std::string& archive, const std::string& cacheDir, ReportFn report);

/// Puts the staging directory in the place of the cache's install agent (whatever is there: a
/// symbolic link is removed as the link) and records the validation string (none: no record)
/// and the key that it was verified with (empty: none) and the freshness record (empty: none),
/// once no other run uses the install agent that it replaces. Meanwhile it asks `giveUp` every
/// 50 ms; true ends the wait. The new install agent is on the disk before it takes the old
/// one's place, and its record only after that. What killed runs left in the cache goes first.
/// When another run has put this very archive's install agent in place meanwhile, that one is
/// kept. The install agent in place is kept for this run. Returns false, with the staging
/// directory removed, when it gave up (`error` left empty) or could not put the install agent in
/// place (`error`, if given, names the failed call, its paths and the system's error); the record
/// then describes no install agent.
bool installStagedInstallAgent(Staging staging, const std::string& cacheDir,
                               const std::optional<std::string>& validationString,
                               const std::string& signer, const std::string& freshnessRecord,
                               const std::function<bool()>& giveUp, std::string* error = nullptr);

#endif  // SRC_PROVISIONING_CACHE_INSTALL_H_
