#include "provisioning/cache_validation.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "support/files.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

using testing_support::readFile;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

TEST(ValidationStringTest, WriteThenCheckRoundTrips) {
  const ScopedTempDir dir;
  const std::string cacheDir = dir.path() + "/";  // callers pass a directory ending in "/"
  writeValidationString(cacheDir, "\"abc-123\"");
  EXPECT_EQ("\"abc-123\"", readFile(dir / ".validatestring"));
  EXPECT_TRUE(isCacheValid(cacheDir, "\"abc-123\""));
  EXPECT_FALSE(isCacheValid(cacheDir, "\"ABC-123\""));
  EXPECT_FALSE(isCacheValid(cacheDir, "\"abc-123\" "));
  EXPECT_FALSE(isCacheValid(cacheDir, "abc-123"));
}

TEST(ValidationStringTest, OnlyTheFirstLineCountsAndNothingIsTrimmed) {
  const ScopedTempDir dir;
  writeFile(dir / ".validatestring", "tag\nmore text");
  EXPECT_TRUE(isCacheValid(dir.path(), "tag"));
  writeFile(dir / ".validatestring", "tag\r\n");
  EXPECT_FALSE(isCacheValid(dir.path(), "tag"));
  EXPECT_TRUE(isCacheValid(dir.path(), "tag\r"));
  writeValidationString(dir.path(), "two\nlines");
  EXPECT_EQ("two\nlines", readFile(dir / ".validatestring"));
  EXPECT_FALSE(isCacheValid(dir.path(), "two\nlines"));
}

TEST(ValidationStringTest, EmptyValuesNeverMatch) {
  const ScopedTempDir dir;
  writeFile(dir / ".validatestring", "");
  EXPECT_FALSE(isCacheValid(dir.path(), ""));
  EXPECT_FALSE(isCacheValid(dir.path(), "x"));
  EXPECT_FALSE(isCacheValid(dir / "missing", "x"));
}

TEST(ValidationStringTest, EmptyArgumentsWriteNothing) {
  const ScopedTempDir dir;
  writeValidationString(dir.path(), "old");
  writeValidationString(dir.path(), "");
  writeValidationString("", "new");
  EXPECT_EQ("old", readFile(dir / ".validatestring"));
}

TEST(ValidationStringTest, ShorterWriteTruncates) {
  const ScopedTempDir dir;
  writeValidationString(dir.path(), "a-long-validation-string");
  writeValidationString(dir.path(), "short");
  EXPECT_EQ("short", readFile(dir / ".validatestring"));
}

TEST(ValidationStringTest, MissingDirectoryCreatesNothing) {
  const ScopedTempDir dir;
  writeValidationString(dir / "missing", "tag");
  EXPECT_TRUE(testing_support::listDir(dir.path()).empty());
}

TEST(ValidationStringTest, UnreadableFileDoesNotMatch) {
  const ScopedTempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  writeFile(dir / ".validatestring", "tag", 0);
  EXPECT_EQ(
      0, testing_support::runUnprivileged([&] { return isCacheValid(dir.path(), "tag") ? 1 : 0; }));
}

// Tests that a write cut short by a full disk leaves no partial string that could match.
TEST(ValidationStringTest, FailedWriteLeavesNoFile) {
  const ScopedTempDir dir;
  writeFile(dir / ".validatestring", "old-tag");
  const int childStatus = testing_support::runInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4, 4};  // the file may hold at most four bytes
    ::setrlimit(RLIMIT_FSIZE, &limit);
    writeValidationString(dir.path(), "\"a-much-longer-tag\"");
    return 0;
  });
  EXPECT_EQ(0, childStatus);
  EXPECT_FALSE(testing_support::exists(dir / ".validatestring"));
}

TEST(ValidationStringTest, RemoveDeletesTheFile) {
  const ScopedTempDir dir;
  writeValidationString(dir.path(), "tag");
  EXPECT_EQ("tag", readValidationString(dir.path()));
  removeValidationString(dir.path());
  EXPECT_EQ("", readValidationString(dir.path()));
  removeValidationString(dir.path());  // nothing there: harmless
}

// Tests that a huge or hostile file costs nothing to check and never matches by accident.
TEST(ValidationStringTest, HugeAndOddFilesAreReadOnlyAsFarAsNeeded) {
  const ScopedTempDir dir;
  writeFile(dir / ".validatestring", std::string(64 * 1024 * 1024, 'x'));
  EXPECT_FALSE(isCacheValid(dir.path(), "xxxx"));
  EXPECT_FALSE(isCacheValid(dir.path(), std::string(64 * 1024 * 1024, 'x') + "y"));
  EXPECT_EQ("", readValidationString(dir.path()));  // too long to be a validation string

  writeFile(dir / ".validatestring", std::string(kMaxValidationStringLength, 'a') + "\nrest");
  EXPECT_EQ(std::string(kMaxValidationStringLength, 'a'), readValidationString(dir.path()));
  EXPECT_TRUE(isCacheValid(dir.path(), std::string(kMaxValidationStringLength, 'a')));

  writeFile(dir / ".validatestring", std::string("a\0b", 3));
  EXPECT_TRUE(isCacheValid(dir.path(), std::string("a\0b", 3)));
  EXPECT_FALSE(isCacheValid(dir.path(), "a"));
}
