#include "platform/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/files.h"
#include "support/process.h"
#include "support/scoped_env.h"
#include "support/scoped_temp_dir.h"

using testing_support::exists;
using testing_support::ScopedEnv;
using testing_support::ScopedTempDir;

TEST(TempDirTest, FreshPrivateDirectoriesUnderTmpdir) {
  const ScopedTempDir tmp;
  const ScopedEnv env("TMPDIR", tmp.path() + "/");  // a trailing separator is not doubled
  const TempDir first("tmp_install_dir");
  const TempDir second("tmp_install_dir");
  ASSERT_NE("", first.getDir());
  EXPECT_NE(first.getDir(), second.getDir());
  for (const std::string& dir : {first.getDir(), second.getDir()}) {
    EXPECT_EQ(tmp.path() + "/zr", dir.substr(0, tmp.path().size() + 3));
    EXPECT_EQ(tmp.path().size() + 9, dir.size());
    struct stat info {};
    ASSERT_EQ(0, ::stat(dir.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777);
  }
}

TEST(TempDirTest, DefaultsToTmp) {
  const ScopedEnv env("TMPDIR", "");
  const TempDir dir("x");
  EXPECT_EQ("/tmp/zr", dir.getDir().substr(0, 7));
}

TEST(TempDirTest, RemovesEverythingButFollowsNoLink) {
  const ScopedTempDir tmp;
  const ScopedTempDir outside;
  testing_support::writeFile(outside / "keep", "precious");
  const ScopedEnv env("TMPDIR", tmp.path());
  std::string path;
  {
    const TempDir dir("x");
    path = dir.getDir();
    testing_support::makeDirs(path + "/a/b/c");
    testing_support::writeFile(path + "/a/b/c/file", "x");
    testing_support::writeFile(path + "/a/readonly", "x", 0400);
    ::symlink(outside.path().c_str(), (path + "/a/link").c_str());
    // Directories an archive may leave without write or search permission.
    ::chmod((path + "/a/b/c").c_str(), 0500);
    ::chmod((path + "/a/b").c_str(), 0);
  }
  EXPECT_FALSE(exists(path));
  EXPECT_TRUE(testing_support::listDir(tmp.path()).empty());
  EXPECT_EQ("precious", testing_support::readFile(outside / "keep"));
}

TEST(TempDirTest, AlreadyRemovedIsFine) {
  const ScopedTempDir tmp;
  const ScopedEnv env("TMPDIR", tmp.path());
  const TempDir dir("x");
  ASSERT_EQ(0, ::rmdir(dir.getDir().c_str()));
}

TEST(TempDirTest, UnusableTmpdirGivesNoDirectory) {
  const ScopedTempDir tmp;
  const ScopedEnv env("TMPDIR", tmp / "missing");
  const TempDir dir("x");
  EXPECT_EQ("", dir.getDir());
}

// Tests that removal gets through directories without permissions when permission checks apply.
TEST(TempDirTest, RemovesLockedDirectoriesAsAnOrdinaryUser) {
  const ScopedTempDir tmp;
  ::chmod(tmp.path().c_str(), 0777);
  const ScopedEnv env("TMPDIR", tmp.path());
  const int status = testing_support::runUnprivileged([] {
    std::string path;
    {
      const TempDir dir("x");
      path = dir.getDir();
      testing_support::makeDirs(path + "/a/b");
      testing_support::writeFile(path + "/a/b/f", "x", 0);
      ::chmod((path + "/a/b").c_str(), 0);
      ::chmod((path + "/a").c_str(), 0500);
    }
    return exists(path) ? 1 : 0;
  });
  EXPECT_EQ(0, status);
  EXPECT_TRUE(testing_support::listDir(tmp.path()).empty());
}
