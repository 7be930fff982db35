#include "platform/mkpath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/files.h"
#include "support/process.h"

// Each path as an ordinary user, so that permissions apply, below a directory that holds a file
// "f" and a directory "locked" (0555).
TEST(MkpathTest, Mkpath) {
  // clang-format off
  const std::tuple<const char*, int, const char*, const char*> rows[] = {
      // path (none: ""), errno (0: success), a directory made with mode 0750, nothing there after
      {"a/b/c", 0, "a", ""}, {"//x///y/", 0, "x/y", ""}, {"locked/", 0, "", ""}, {"f/y/z", ENOTDIR, "", "f/y"},
      {"f", ENOTDIR, "", ""}, {"locked/sub/leaf", EACCES, "", "locked/sub"}, {nullptr, ENOENT, "", ""}};
  // clang-format on
  for (const auto& [path, error, made, untouched] : rows) {
    const testing_support::ScopedTempDir dir;
    testing_support::writeFile(dir / "f", "file");
    std::filesystem::create_directory(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0555);
    ::chmod(dir.path().c_str(), 0777);
    const std::string full = path ? dir / path : "";
    EXPECT_EQ(error, testing_support::runUnprivileged([&] {
                ::umask(022);
                return mkpath(full, 0750) == 0 ? 0 : errno;
              }))
        << full;
    struct stat info {};
    EXPECT_TRUE(!*made ||
                (::stat((dir / made).c_str(), &info) == 0 && info.st_mode == (S_IFDIR | 0750)))
        << made;
    EXPECT_FALSE(*untouched && testing_support::exists(dir / untouched)) << untouched;
  }
}
