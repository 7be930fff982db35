#ifndef SRC_PROVISIONING_CACHE_INSTALL_H_
#define SRC_PROVISIONING_CACHE_INSTALL_H_

#include <string>

#include "platform/report_fn.h"

// Puts a downloaded install agent into the per-user cache whole or not at all: the archive is
// unpacked into a staging directory beside the cache's install agent directory, and only an
// unpack that worked and holds the entry point takes that directory's place.

/// Unpacks the archive with `unzip` into a fresh staging directory inside the cache directory.
/// Returns the staging directory when the unpack worked and the entry point "install" is a file
/// there; otherwise removes what the unpack left and returns an empty string. unzip's failure
/// is reported ("Failed to unzip the install agent").
std::string unpackIntoStaging(const std::string& archive, const std::string& cacheDir,
                              ReportFn report);

/// Makes the staging directory the cache's install agent directory, replacing whatever was
/// there, and records the validation string (or, without one, removes the stale record). The
/// record is removed before the swap and written after it, so it never describes another
/// install agent. Returns false, with staging removed and no record, when the swap fails.
bool commitInstallAgent(const std::string& staging, const std::string& cacheDir,
                        const std::string& validationString);

/// Removes a staging directory that is not to be used.
void discardStaging(const std::string& staging);

#endif  // SRC_PROVISIONING_CACHE_INSTALL_H_
