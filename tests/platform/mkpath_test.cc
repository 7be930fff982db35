#include "platform/mkpath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/files.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

using testing_support::exists;
using testing_support::ScopedTempDir;

namespace {

mode_t permissions(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

}  // namespace

TEST(MkpathTest, CreatesMissingComponentsWithTheMode) {
  const ScopedTempDir dir;
  const mode_t oldMask = ::umask(022);
  EXPECT_EQ(0, mkpath(dir / "a/b/c", 0700));
  ::umask(oldMask);
  EXPECT_TRUE(exists(dir / "a/b/c"));
  EXPECT_EQ(0700u, permissions(dir / "a"));
  EXPECT_EQ(0700u, permissions(dir / "a/b/c"));
}

TEST(MkpathTest, SkipsEmptyComponentsAndTrailingSeparators) {
  const ScopedTempDir dir;
  EXPECT_EQ(0, mkpath(dir / "a//b/", 0755));
  EXPECT_TRUE(exists(dir / "a/b"));
  EXPECT_EQ(0, mkpath(dir.path() + "//x///y", 0755));
  EXPECT_TRUE(exists(dir / "x/y"));
}

TEST(MkpathTest, ExistingDirectoryIsFine) {
  const ScopedTempDir dir;
  EXPECT_EQ(0, mkpath(dir.path(), 0700));
  EXPECT_EQ(0, mkpath(dir.path() + "/", 0700));
}

TEST(MkpathTest, StopsAtAFileInTheWay) {
  const ScopedTempDir dir;
  testing_support::writeFile(dir / "x", "file");
  errno = 0;
  EXPECT_EQ(-1, mkpath(dir / "x/y/z", 0700));
  EXPECT_EQ(ENOTDIR, errno);
  errno = 0;
  EXPECT_EQ(-1, mkpath(dir / "x", 0700));
  EXPECT_EQ(ENOTDIR, errno);
  EXPECT_EQ(std::vector<std::string>{"x"}, testing_support::listDir(dir.path()));
}

TEST(MkpathTest, ReportsAComponentThatCannotBeCreated) {
  const ScopedTempDir dir;
  testing_support::makeDirs(dir / "locked");
  ::chmod((dir / "locked").c_str(), 0555);
  ::chmod(dir.path().c_str(), 0755);
  const std::string target = dir / "locked/sub/leaf";
  const int status = testing_support::runUnprivileged(
      [&] { return mkpath(target, 0700) == -1 && errno == EACCES ? 0 : 1; });
  EXPECT_EQ(0, status);
  EXPECT_FALSE(exists(dir / "locked/sub"));
}

TEST(MkpathTest, EmptyPathFails) {
  EXPECT_EQ(-1, mkpath("", 0700));
}
