#include "provisioning/zip_directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "framework/base/unique_fd.h"
#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

namespace {

// What the shell command prints in the directory, with the bytes given (at, value, width) put in.
std::string zipOf(const ScopedTempDir& dir, const std::string& command,
                  const std::vector<std::array<uint64_t, 3>>& puts = {}) {
  EXPECT_EQ(0, runShell("cd " + dir.path() + " && (" + command + ") >out.zip"));
  std::string bytes = readFile(dir / "out.zip");
  for (auto [at, value, width] : puts) {
    for (; width > 0; --width, value >>= 8) {
      bytes.at(at++) = static_cast<char>(value & 0xff);
    }
  }
  return bytes;
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

  const uint64_t needed = archive.size() - zip->directoryOffset;
  EXPECT_GT(needed, kEndSearchLength);  // the file was read twice
  for (const uint64_t length : {uint64_t{10}, kEndSearchLength, needed, uint64_t{archive.size()}}) {
    const std::string_view tail = std::string_view(archive).substr(archive.size() - length);
    EXPECT_EQ(length < kEndSearchLength ? kEndSearchLength : needed,
              neededTailLength(tail, archive.size()));
    const std::optional<ZipDirectory> fromTail = readZipDirectory(tail, archive.size(), &error);
    EXPECT_EQ(length >= needed ? zip->entries.size() : 0, fromTail ? fromTail->entries.size() : 0);
  }
}

// Each archive that is not plain, as zip makes it or patched, is refused with its reason.
TEST(ZipDirectoryTest, RefusesWhatItCannotPlace) {
  const ScopedTempDir dir;
  makeZip(dir / "a.zip", {{"a1", "x"}, {"a2", "y"}});
  const uint64_t e = readFile(dir / "a.zip").size() - 22, c = e - 96, c2 = c + 48;  // 48 an entry
  const std::string zip = "cat a.zip", upTo = "head -c " + std::to_string(c) + " a.zip; ";
  const std::tuple<std::string, std::vector<std::array<uint64_t, 3>>, const char*> rows[] = {
      // clang-format off
      {"printf x | zip -q - -", {}, "ZIP64 end record"},
      {zip, {{c + 20, 0xffffffff, 4}}, "ZIP64 entry"}, {zip, {{e + 16, 0xffffffff, 4}}, "ZIP64 marker"},
      {"zip -q -X - a.zip | cat", {}, "data descriptor"},
      {"zip -q -X -P pw b.zip a.zip && cat b.zip", {}, "encrypted"}, {zip, {{c + 10, 99, 2}}, "encrypted"},
      {"(head -c 100 /dev/zero; cat a.zip) >c.zip && zip -qA c.zip && cat c.zip", {}, "before the first"},
      {zip, {{e + 4, 1, 2}}, "more than one disk"}, {zip, {{c2 + 34, 1, 2}}, "another disk"},
      {zip, {{e + 8, 3, 2}, {e + 10, 3, 2}}, "ends before"},
      {zip, {{e + 8, 1, 2}, {e + 10, 1, 2}}, "more in the directory"},
      {zip, {{c2 + 47, '1', 1}}, "same name"}, {zip, {{c2 + 20, 2, 4}}, "overlaps"},
      {zip, {{c2 + 42, 2, 4}}, "overlaps"}, {zip, {{c2 + 42, e, 4}}, "beyond the directory"},
      {"head -c -22 a.zip; printf 0000; tail -c 22 a.zip", {}, "between the directory and the end"},
      {upTo + "head -c 70000 /dev/zero; tail -c 118 a.zip", {{e + 70016, c + 70000, 4}},
       "between entries"},
      {zip, {{e + 16, 0, 4}, {e + 12, e, 4}}, "signature"}, {"cat a.zip; echo", {}, "comment is not all"},
      {"echo not a zip file at all, just text", {}, "no end record"},
      // clang-format on
  };
  for (const auto& [command, puts, reason] : rows) {
    const std::string archive = zipOf(dir, command, puts);
    std::string error;
    EXPECT_FALSE(readZipDirectory(archive, archive.size(), &error)) << reason;
    EXPECT_NE(std::string::npos, error.find(reason)) << reason << ": " << error;
  }
}
