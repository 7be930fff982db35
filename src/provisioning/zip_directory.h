#ifndef SRC_PROVISIONING_ZIP_DIRECTORY_H_
#define SRC_PROVISIONING_ZIP_DIRECTORY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The central directory of a ZIP archive, read from the archive's last bytes alone, so that an
// update can learn which entries changed before it fetches any of them. Only the plain archives
// that a signed install agent comes as are read: one disk, no ZIP64, no data descriptors, no
// encryption, entries packed from offset 0 up to the directory, the directory up to the end
// record, the comment up to the end. Anything else is refused with its reason: its entries'
// places in the file could not be trusted.

/// One entry as its central directory record describes it.
struct ZipEntry {
  std::string name;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0, uncompressedSize = 0;
  uint16_t method = 0, flags = 0, dosTime = 0, dosDate = 0;
  uint16_t versionNeeded = 0;  // the local header repeats it: part of what a reuse compares
  uint64_t localHeaderOffset = 0;
  /// The whole local record (local header, name, extra field, data): the distance to the next
  /// entry's local header, or to the directory for the last one.
  uint64_t recordLength = 0;
};

struct ZipDirectory {
  uint64_t archiveLength = 0;
  uint64_t directoryOffset = 0, directoryLength = 0;
  std::vector<ZipEntry> entries;  // sorted by localHeaderOffset
};

/// How far back from an archive's end readZipDirectory searches for the end record: the record
/// itself and the longest comment.
constexpr uint64_t kEndSearchLength = 22 + 65535;

/// The number of bytes from the end of an archive of `archiveLength` bytes that readZipDirectory
/// needs, judged from its last `tail.size()` bytes: everything from the directory's start once the
/// end record is in the tail, the end-search window while it is not, never more than
/// archiveLength. More than tail.size() tells the caller to fetch a longer tail; tail.size() also
/// when the tail holds what is unreadable anyway (readZipDirectory then says why).
uint64_t neededTailLength(std::string_view tail, uint64_t archiveLength);

/// The directory of an archive of `archiveLength` bytes whose last bytes are `tail` (the whole
/// archive when tail.size() == archiveLength). None, with the reason in `error`, for a tail that
/// does not reach back to the directory's start (see neededTailLength) and for every archive
/// that is not plain (above): ZIP64 markers, end record or locator; more than one disk; data
/// descriptors; encryption; bytes before the first entry, between entries (more than a local
/// extra field can hold) or between the directory and the end record; entries out of range or
/// overlapping; a count that does not match the directory; duplicate names; a comment that is not
/// all the bytes after the end record. The local headers are not in the tail, so not read: the
/// local extra field (whose length follows from recordLength) is the one part of a record that the
/// directory does not describe.
std::optional<ZipDirectory> readZipDirectory(std::string_view tail, uint64_t archiveLength,
                                             std::string* error);

/// The most that readZipDirectoryOfFile reads: a directory longer than this is refused.
constexpr uint64_t kMaxTailLength = 4 << 20;

/// The directory of the archive open at `fd` (a regular file), read with pread from its end:
/// the end-search window, then once more from the directory's start when that lies further back.
/// None, with the reason in `error`, when the file cannot be read, is refused by
/// readZipDirectory, or its tail would exceed kMaxTailLength.
std::optional<ZipDirectory> readZipDirectoryOfFile(int fd, std::string* error);

#endif  // SRC_PROVISIONING_ZIP_DIRECTORY_H_
