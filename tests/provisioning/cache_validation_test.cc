#include "provisioning/cache_validation.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

const std::string kLongest(kMaxValidationStringLength, 'a');

TEST(CacheValidationTest, IsCacheValid) {
  const std::string nul("a\0b", 3);
  // clang-format off
  const std::tuple<std::optional<std::string>, std::string, bool> rows[] = {  // file (none: no file), expected, valid
      {"\"abc-1\"", "\"abc-1\"", true}, {"\"abc-1\"", "\"ABC-1\"", false}, {"\"abc-1\"", "\"abc-1\" ", false},
      {"\"abc-1\"x", "\"abc-1\"", false}, {"\"abc-1", "\"abc-1\"", false}, {"tag\nmore text", "tag", true},
      {"tag\r\n", "tag", false}, {"tag\r\n", "tag\r", true}, {nul, nul, true}, {nul, "a", false},
      {kLongest + "\nrest", kLongest, true}, {"", "", false}, {"", "x", false}, {std::nullopt, "x", false}};
  // clang-format on
  for (const auto& [file, expected, valid] : rows) {
    const ScopedTempDir dir;
    if (file) {
      writeFile(dir / ".validatestring", *file);
    }
    EXPECT_EQ(valid, isCacheValid(dir.path() + "/", expected))
        << file.value_or("(none)") << " " << expected;
  }
}

TEST(CacheValidationTest, WriteReplacesReadGivesTheFirstLine) {
  const ScopedTempDir dir;
  writeValidationString(dir / "missing", "tag");
  EXPECT_TRUE(listDir(dir.path()).empty());
  writeValidationString(dir.path(), kLongest + "a\nrest");
  EXPECT_EQ("", readValidationString(dir.path()));  // too long to be one
  writeValidationString(dir.path(), "tag\nrest");
  writeValidationString(dir.path(), "");
  writeValidationString("", "new");
  EXPECT_EQ("tag\nrest", readFile(dir / ".validatestring"));
  EXPECT_EQ("tag", readValidationString(dir.path()));
}

// Tests that a write cut short (here by a file size limit, as by a full disk) leaves no part of
// the new string and nothing of the old one, which could describe another archive, nor an older
// signer: the records go, or, where the directory is read-only at that moment, are emptied.
TEST(CacheValidationTest, FailedWriteLeavesNoFile) {
  const char* const records[] = {".validatestring", ".signedby"};
  for (const bool readOnly : {false, true}) {
    const ScopedTempDir dir;
    for (const char* record : records) {
      writeFile(dir / record, "\"old\"", 0666);
    }
    ::chmod(dir.path().c_str(), readOnly ? 0555 : 0777);
    EXPECT_EQ(0, runUnprivileged([&] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{4, 4};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                writeValidationString(dir.path(), "\"long-tag\"");
                writeSigner(dir.path(), "new signer");
                return 0;
              }));
    for (const char* record : records) {
      EXPECT_EQ(readOnly ? "" : "(none)", exists(dir / record) ? readFile(dir / record) : "(none)")
          << record << readOnly;
    }
  }
}
