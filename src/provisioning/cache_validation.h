#ifndef SRC_PROVISIONING_CACHE_VALIDATION_H_
#define SRC_PROVISIONING_CACHE_VALIDATION_H_

#include <cstddef>
#include <string>

// The validation-string file ".validatestring" in the cache directory holds the validation
// string (the "ETag") of the archive whose install agent the cache holds, byte for byte and
// nothing else. Only its first line is ever compared.

/// True only when the expected string is not empty and equals the first line of the file, a
/// regular file (no symbolic link, no FIFO), exactly.
bool isCacheValid(std::string directory, std::string expected);

/// Stores the validation string in the directory's file, replacing what was there in one step,
/// durably: after a power loss the file holds the old string or the new one, whole. Does
/// nothing when either argument is empty. A write that fails leaves no string behind: what
/// stands at the file's name goes (a directory too), or, where the directory lets nothing go
/// (read-only), the file is emptied.
void writeValidationString(std::string directory, std::string validationString);

/// The longest validation string that readValidationString() returns; real ones are far shorter.
constexpr size_t kMaxValidationStringLength = 4096;

/// The file's first line, or an empty string when there is no readable regular file (a symbolic
/// link or a FIFO counts as none) or the line is longer than kMaxValidationStringLength.
std::string readValidationString(const std::string& directory);

/// Removes the directory's validation-string file, if any, as a failed write does, and the
/// freshness record with it.
void removeValidationString(const std::string& directory);

/// The id of the key whose signature the cached install agent was verified with (its text, as
/// minisign shows it), kept beside the validation string in ".signedby"; empty when there is
/// none, for an install agent that nothing was asked to verify.
std::string readSigner(const std::string& directory);

/// Records the signer as writeValidationString() records a validation string, a failed write
/// leaving none; an empty signer removes the record, as removeValidationString() does.
void writeSigner(const std::string& directory, const std::string& signer);

/// The freshness record (provisioning/freshness.h) of the validation string, kept beside it in
/// ".freshness" and read as it is: no link followed, no FIFO waited for. Empty when there is
/// none, or it is longer than kMaxFreshnessRecordLength.
constexpr size_t kMaxFreshnessRecordLength = size_t{16} * 1024;
std::string readFreshnessRecord(const std::string& directory);

/// Records it as writeValidationString() records a validation string, durably, a failed write
/// leaving none; an empty record removes the file.
void writeFreshnessRecord(const std::string& directory, const std::string& record);

#endif  // SRC_PROVISIONING_CACHE_VALIDATION_H_
