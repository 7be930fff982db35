// libFuzzer target for the directory of an archive that the network sends: read from any tail of
// the bytes, the reader returns a directory or a reason, reads nothing beyond them, and what it
// returns holds together: entries in order, each record where the next begins, none past the
// directory, and a tail that neededTailLength calls enough.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "provisioning/zip_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view archive(reinterpret_cast<const char*>(data), size);
  // The first byte chooses how much of the archive is the tail: all of it for an archive's "P".
  const std::string_view tail = archive.substr(size == 0 || data[0] % 4 == 0 ? 0 : data[0] % size);
  std::string error;
  const std::optional<ZipDirectory> zip = readZipDirectory(tail, size, &error);
  const uint64_t needed = neededTailLength(tail, size);
  uint64_t offset = 0;
  bool packed = true;
  for (const ZipEntry& entry : zip ? zip->entries : std::vector<ZipEntry>{}) {
    packed = packed && entry.localHeaderOffset == offset &&
             entry.recordLength >= 30 + entry.name.size() + entry.compressedSize;
    offset += entry.recordLength;
  }
  if (zip.has_value() == !error.empty() || needed > size ||
      (zip && (!packed || needed > tail.size() || offset != zip->directoryOffset))) {
    __builtin_trap();
  }
  return 0;
}
