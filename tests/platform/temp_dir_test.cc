#include "platform/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "platform/command_line.h"
#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

TEST(TempDirTest, FreshPrivateDirectoriesUnderTmpdir) {
  const ScopedTempDir tmp;
  const ScopedEnv env("TMPDIR", tmp.path() + "/");  // a trailing separator is not doubled
  const TempDir first("x"), second("x");
  EXPECT_NE(first.getDir(), second.getDir());
  for (const std::string& dir : {first.getDir(), second.getDir()}) {
    struct stat info {};
    EXPECT_EQ(0, ::stat(dir.c_str(), &info));
    EXPECT_EQ(S_IFDIR | 0700u, info.st_mode);
    EXPECT_TRUE(dir.starts_with(tmp / "zr") && dir.size() == tmp.path().size() + 9) << dir;
  }
}

// Tests that the removal gets through what an archive may leave (directories without write or
// search permission, unreadable files) when permissions apply, and follows no link out.
TEST(TempDirTest, RemovesLockedTreesAsAnOrdinaryUser) {
  const ScopedTempDir tmp;
  writeFile(tmp / "outside/keep", "precious");
  runShell("chmod -R a+rwX " + smart_quote(tmp.path()));
  const ScopedEnv env("TMPDIR", tmp.path());
  EXPECT_EQ(0, runUnprivileged([&] {
              auto dir = std::make_unique<TempDir>("x");
              const std::string path = dir->getDir();
              writeFile(path + "/a/b/c/f", "x", 0);
              std::filesystem::create_directory_symlink(tmp / "outside", path + "/a/link");
              ::chmod((path + "/a/b/c").c_str(), 0500);
              ::chmod((path + "/a/b").c_str(), 0);
              ::chmod((path + "/a").c_str(), 0500);
              dir.reset();
              return path.empty() || exists(path) ? 1 : 0;
            }));
  EXPECT_EQ(std::vector<std::string>{"outside"}, listDir(tmp.path()));
  EXPECT_EQ("precious", readFile(tmp / "outside/keep"));
}
