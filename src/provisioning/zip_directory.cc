#include "provisioning/zip_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEntrySignature = 0x02014b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint64_t kEndLength = 22;
constexpr uint64_t kEntryLength = 46;
constexpr uint64_t kLocalHeaderLength = 30;
constexpr uint64_t kMaxField = 0xffff;  // a name, extra field or comment is at most this long
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kMethodAes = 99;

// Callers check that the bytes are there.
uint16_t read16(std::string_view bytes, uint64_t at) {
  const auto byte = [&](uint64_t i) {
    return static_cast<unsigned>(static_cast<uint8_t>(bytes[i]));
  };
  return static_cast<uint16_t>(byte(at) | byte(at + 1) << 8);
}

uint32_t read32(std::string_view bytes, uint64_t at) {
  return read16(bytes, at) | static_cast<uint32_t>(read16(bytes, at + 2)) << 16;
}

// The end record, checked against the archive's length; offsets from the archive's start.
struct EndRecord {
  uint64_t offset = 0;
  uint64_t directoryOffset = 0, directoryLength = 0;
  uint16_t entries = 0;
};

// The end record nearest the end whose comment runs exactly to the end: searching from the end,
// so that an end record's bytes inside a comment are not taken for it. `sawOther` tells of a
// signature whose comment length did not fit.
std::optional<uint64_t> findEndRecord(std::string_view tail, bool* sawOther) {
  for (uint64_t back = 0; back <= kMaxField && back + kEndLength <= tail.size(); ++back) {
    const uint64_t at = tail.size() - kEndLength - back;
    if (read32(tail, at) == kEndSignature) {
      if (read16(tail, at + 20) == back) {
        return at;
      }
      *sawOther = true;
    }
  }
  return std::nullopt;
}

std::optional<EndRecord> readEndRecord(std::string_view tail, uint64_t archiveLength,
                                       std::string* error, uint64_t* needed) {
  const auto fail = [error](const char* why) {
    *error = why;
    return std::nullopt;
  };
  if (tail.size() > archiveLength) {
    return fail("the tail is longer than the archive");
  }
  bool sawOther = false;
  const std::optional<uint64_t> at = findEndRecord(tail, &sawOther);
  if (!at) {
    if (tail.size() < std::min(archiveLength, kEndSearchLength)) {
      *needed = std::min(archiveLength, kEndSearchLength);
      return fail("the tail is too short to find the end record in");
    }
    return fail(sawOther ? "the comment is not all the bytes after the end record"
                         : "no end record: not a ZIP archive");
  }
  const uint16_t disk = read16(tail, *at + 4), directoryDisk = read16(tail, *at + 6);
  const uint16_t entriesOnDisk = read16(tail, *at + 8), entries = read16(tail, *at + 10);
  const uint32_t directoryLength = read32(tail, *at + 12), directoryOffset = read32(tail, *at + 16);
  if (disk == 0xffff || directoryDisk == 0xffff || entriesOnDisk == 0xffff || entries == 0xffff ||
      directoryLength == 0xffffffff || directoryOffset == 0xffffffff) {
    return fail("a ZIP64 marker in the end record");
  }
  if (disk != 0 || directoryDisk != 0 || entriesOnDisk != entries) {
    return fail("an archive on more than one disk");
  }
  EndRecord end{archiveLength - tail.size() + *at, directoryOffset, directoryLength, entries};
  if (end.directoryOffset + end.directoryLength > end.offset) {
    return fail("the directory runs into the end record");
  }
  const uint64_t between = end.offset - end.directoryOffset - end.directoryLength;
  if (between != 0) {
    // What stands there, when the tail holds it, tells whether it is ZIP64's record and locator.
    const bool zip64 = between >= 20 && between <= *at &&
                       (read32(tail, *at - 20) == kZip64LocatorSignature ||
                        read32(tail, *at - between) == kZip64EndSignature);
    return fail(zip64 ? "a ZIP64 end record" : "bytes between the directory and the end record");
  }
  return end;
}

bool hasZip64Extra(std::string_view extra) {
  for (uint64_t at = 0; at + 4 <= extra.size(); at += 4 + read16(extra, at + 2)) {
    if (read16(extra, at) == kZip64Extra) {
      return true;
    }
  }
  return false;
}

// The reason to refuse one central record of `entry` bytes (at least kEntryLength, its name,
// extra field and comment within), or nullptr; `zip` gets what it describes.
const char* readEntry(std::string_view entry, ZipEntry* zip) {
  zip->versionNeeded = read16(entry, 6);
  zip->flags = read16(entry, 8);
  zip->method = read16(entry, 10);
  zip->dosTime = read16(entry, 12);
  zip->dosDate = read16(entry, 14);
  zip->crc32 = read32(entry, 16);
  zip->compressedSize = read32(entry, 20);
  zip->uncompressedSize = read32(entry, 24);
  const uint16_t nameLength = read16(entry, 28), extraLength = read16(entry, 30);
  const uint16_t diskStart = read16(entry, 34);
  zip->localHeaderOffset = read32(entry, 42);
  zip->name = entry.substr(kEntryLength, nameLength);
  if (zip->compressedSize == 0xffffffff || zip->uncompressedSize == 0xffffffff ||
      zip->localHeaderOffset == 0xffffffff || diskStart == 0xffff ||
      hasZip64Extra(entry.substr(kEntryLength + nameLength, extraLength))) {
    return "a ZIP64 entry";
  }
  if (diskStart != 0) {
    return "an entry on another disk";
  }
  // Bit 0: encrypted; bit 6: strong encryption; bit 13: the local headers masked.
  if ((zip->flags & 0x2041) != 0 || zip->method == kMethodAes) {
    return "an encrypted entry";
  }
  if ((zip->flags & 0x0008) != 0) {
    return "an entry with a data descriptor";
  }
  return nullptr;
}

// The reason to refuse the directory's bytes as `count` entries, or nullptr with them read.
const char* readEntries(std::string_view directory, uint16_t count, uint64_t directoryOffset,
                        std::vector<ZipEntry>* entries) {
  for (uint16_t i = 0; i < count; ++i) {
    if (directory.size() >= 4 && read32(directory, 0) != kEntrySignature) {
      return "a directory entry without its signature";
    }
    const uint64_t length =
        directory.size() < kEntryLength
            ? 0
            : kEntryLength + read16(directory, 28) + read16(directory, 30) + read16(directory, 32);
    if (length == 0 || length > directory.size()) {
      return "the directory ends before the entries that the end record counts";
    }
    if (const char* why = readEntry(directory.substr(0, length), &entries->emplace_back())) {
      return why;
    }
    if (entries->back().localHeaderOffset >= directoryOffset) {
      return "an entry beyond the directory";
    }
    directory.remove_prefix(length);
  }
  return directory.empty() ? nullptr
                           : "more in the directory than the entries that the end record counts";
}

// Places each record between its local header and the next one's (the directory after the
// last), where it must fit: its header, name and data, and no more than a local extra field.
const char* placeRecords(std::vector<ZipEntry>& entries, uint64_t directoryOffset) {
  std::sort(entries.begin(), entries.end(), [](const ZipEntry& a, const ZipEntry& b) {
    return a.localHeaderOffset < b.localHeaderOffset;
  });
  if ((entries.empty() ? directoryOffset : entries.front().localHeaderOffset) != 0) {
    return "bytes before the first entry";
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    ZipEntry& entry = entries[i];
    const uint64_t next =
        i + 1 < entries.size() ? entries[i + 1].localHeaderOffset : directoryOffset;
    const uint64_t least = kLocalHeaderLength + entry.name.size() + entry.compressedSize;
    if (next < entry.localHeaderOffset || next - entry.localHeaderOffset < least) {
      return "an entry that overlaps the next or the directory";
    }
    entry.recordLength = next - entry.localHeaderOffset;
    if (entry.recordLength - least > kMaxField) {
      return "bytes between entries";
    }
  }
  std::vector<std::string_view> names;
  names.reserve(entries.size());
  for (const ZipEntry& entry : entries) {
    names.emplace_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  if (std::adjacent_find(names.begin(), names.end()) != names.end()) {
    return "two entries of the same name";
  }
  return nullptr;
}

// Reads `length` bytes at `offset`; false with the reason in `error`.
bool readFully(int fd, char* buffer, uint64_t length, uint64_t offset, std::string* error) {
  while (length > 0) {
    const ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      *error = got < 0 ? std::string("cannot read the archive: ") + std::strerror(errno)
                       : "the archive became shorter while read";
      return false;
    }
    buffer += got;
    length -= static_cast<uint64_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

}  // namespace

uint64_t neededTailLength(std::string_view tail, uint64_t archiveLength) {
  std::string error;
  uint64_t needed = tail.size();
  if (const std::optional<EndRecord> end = readEndRecord(tail, archiveLength, &error, &needed)) {
    needed = archiveLength - end->directoryOffset;
  }
  return needed;
}

std::optional<ZipDirectory> readZipDirectory(std::string_view tail, uint64_t archiveLength,
                                             std::string* error) {
  uint64_t needed = 0;
  const std::optional<EndRecord> end = readEndRecord(tail, archiveLength, error, &needed);
  if (!end) {
    return std::nullopt;
  }
  const uint64_t tailStart = archiveLength - tail.size();
  if (end->directoryOffset < tailStart) {
    *error = "the tail does not reach back to the directory";
    return std::nullopt;
  }
  ZipDirectory directory{archiveLength, end->directoryOffset, end->directoryLength, {}};
  const std::string_view bytes =
      tail.substr(end->directoryOffset - tailStart, end->directoryLength);
  if (const char* why =
          readEntries(bytes, end->entries, end->directoryOffset, &directory.entries)) {
    *error = why;
    return std::nullopt;
  }
  if (const char* why = placeRecords(directory.entries, directory.directoryOffset)) {
    *error = why;
    return std::nullopt;
  }
  return directory;
}

std::optional<ZipDirectory> readZipDirectoryOfFile(int fd, std::string* error) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = "the archive is not a readable regular file";
    return std::nullopt;
  }
  const auto archiveLength = static_cast<uint64_t>(status.st_size);
  std::string tail;
  for (uint64_t length = std::min(archiveLength, kEndSearchLength); length > tail.size();
       length = neededTailLength(tail, archiveLength)) {
    if (length > kMaxTailLength) {
      *error = "the archive's directory is too long";
      return std::nullopt;
    }
    tail.resize(length);
    if (!readFully(fd, tail.data(), length, archiveLength - length, error)) {
      return std::nullopt;
    }
  }
  return readZipDirectory(tail, archiveLength, error);
}
