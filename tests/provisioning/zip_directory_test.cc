#include "provisioning/zip_directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>

#include "framework/base/unique_fd.h"
#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

namespace {

void put(std::string& bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i, value >>= 8) {
    bytes[at + i] = static_cast<char>(value & 0xff);
  }
}

std::string zipOf(const ScopedTempDir& dir, const std::string& command) {
  EXPECT_EQ(0, runShell("cd " + dir.path() + " && " + command + " >out.zip"));
  return readFile(dir / "out.zip");
}

}  // namespace

// Offsets and lengths as zip wrote them: each local header where its entry says, the records
// packed up to the directory; from the whole file, from a tail and from a file whose directory
// lies beyond the first window (a long comment).
TEST(ZipDirectoryTest, ReadsWhatZipWrote) {
  const ScopedTempDir dir;
  std::map<std::string, std::string> files{{"s", "stored"}, {"d/z", std::string(9000, 'z')}};
  for (int i = 0; i < 30; ++i) {
    files["f" + std::to_string(i)] = std::to_string(i);
  }
  makeZip(dir / "a.zip", files);
  ASSERT_EQ(0, runShell("head -c 65000 /dev/zero | tr '\\0' c | zip -q -z " + dir / "a.zip"));
  const std::string archive = readFile(dir / "a.zip");
  std::string error;
  const fw::UniqueFd fd(::open((dir / "a.zip").c_str(), O_RDONLY));
  const std::optional<ZipDirectory> zip = readZipDirectoryOfFile(fd.get(), &error);
  ASSERT_TRUE(zip) << error;
  ASSERT_EQ(32u, zip->entries.size());
  uint64_t offset = 0;
  for (const ZipEntry& entry : zip->entries) {
    EXPECT_EQ(offset, entry.localHeaderOffset);
    EXPECT_EQ("PK\3\4" + entry.name,
              archive.substr(offset, 4) + archive.substr(offset + 30, entry.name.size()));
    EXPECT_EQ(files[entry.name].size(), entry.uncompressedSize);
    EXPECT_EQ(entry.name == "d/z" ? 8 : 0, entry.method) << entry.name;
    offset += entry.recordLength;
  }
  EXPECT_EQ(offset, zip->directoryOffset);
  EXPECT_EQ("PK\5\6", archive.substr(zip->directoryOffset + zip->directoryLength, 4));

  const uint64_t needed = archive.size() - zip->directoryOffset;
  EXPECT_GT(needed, kEndSearchLength);  // the file was read twice
  for (const uint64_t length : {uint64_t{10}, kEndSearchLength, needed, uint64_t{archive.size()}}) {
    const std::string_view tail = std::string_view(archive).substr(archive.size() - length);
    EXPECT_EQ(length < kEndSearchLength ? kEndSearchLength : needed,
              neededTailLength(tail, archive.size()));
    const std::optional<ZipDirectory> fromTail = readZipDirectory(tail, archive.size(), &error);
    EXPECT_EQ(length >= needed, fromTail.has_value()) << length << error;
    EXPECT_EQ(fromTail ? zip->entries.size() : 0, fromTail ? fromTail->entries.size() : 0);
  }
}

// Each archive that is not plain, as zip makes it or patched, is refused with its reason.
TEST(ZipDirectoryTest, RefusesWhatItCannotPlace) {
  const ScopedTempDir dir;
  makeZip(dir / "a.zip", {{"a1", "x"}, {"a2", "y"}});
  const std::string plain = readFile(dir / "a.zip");
  const size_t end = plain.size() - 22,
               central = end - 96;  // two entries of 48 bytes (2-byte names)
  using Patch = std::function<void(std::string&)>;
  const std::pair<Patch, const char*> rows[] = {
      {[&](std::string& z) { z = zipOf(dir, "printf x | zip -q - -"); }, "ZIP64 end record"},
      {[&](std::string& z) { put(z, central + 20, 0xffffffff, 4); }, "ZIP64 entry"},
      {[&](std::string& z) { put(z, end + 16, 0xffffffff, 4); }, "ZIP64 marker"},
      {[&](std::string& z) { z = zipOf(dir, "zip -q -X - a.zip | cat"); }, "data descriptor"},
      {[&](std::string& z) { z = zipOf(dir, "zip -q -X -P pw b.zip a.zip && cat b.zip"); },
       "encrypted"},
      {[&](std::string& z) { put(z, central + 10, 99, 2); }, "encrypted"},
      {[&](std::string& z) {
         z = zipOf(dir, "(head -c 100 /dev/zero; cat a.zip) >c.zip && zip -qA c.zip && cat c.zip");
       },
       "before the first entry"},
      {[&](std::string& z) { put(z, end + 4, 1, 2); }, "more than one disk"},
      {[&](std::string& z) { put(z, central + 48 + 34, 1, 2); }, "another disk"},
      {[&](std::string& z) {
         put(z, end + 8, 3, 2);
         put(z, end + 10, 3, 2);
       },
       "ends before"},
      {[&](std::string& z) {
         put(z, end + 8, 1, 2);
         put(z, end + 10, 1, 2);
       },
       "more in the directory"},
      {[&](std::string& z) { z[central + 48 + 47] = '1'; }, "same name"},
      {[&](std::string& z) { put(z, central + 48 + 20, 2, 4); }, "overlaps"},
      {[&](std::string& z) { put(z, central + 48 + 42, 2, 4); }, "overlaps"},
      {[&](std::string& z) { put(z, central + 48 + 42, end, 4); }, "beyond the directory"},
      {[&](std::string& z) { z.insert(end, 4, '\0'); }, "between the directory and the end"},
      {[&](std::string& z) {
         z.insert(central, 70000, '\0');
         put(z, end + 70000 + 16, central + 70000, 4);
       },
       "bytes between entries"},
      {[&](std::string& z) {
         put(z, end + 16, 0, 4);
         put(z, end + 12, end, 4);
       },
       "signature"},
      {[&](std::string& z) { z += "x"; }, "comment is not all"},
      {[&](std::string& z) { z = "not a zip file at all, just text"; }, "no end record"},
  };
  for (const auto& [patch, reason] : rows) {
    std::string archive = plain;
    patch(archive);
    std::string error;
    EXPECT_FALSE(readZipDirectory(archive, archive.size(), &error)) << reason;
    EXPECT_NE(std::string::npos, error.find(reason)) << reason << ": " << error;
  }
}
