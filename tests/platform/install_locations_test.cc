#include "platform/install_locations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/os/main_bundle.h"
#include "framework/os/paths.h"
#include "support/files.h"
#include "support/process.h"

TEST(InstallLocationsTest, CacheDirFollowsHome) {
  const std::string tail = ".velmora/app_installer_cache/V3107c/korvex/";
  // clang-format off
  const std::pair<std::optional<std::string>, std::string> rows[] = {
      {"/Users/u", "/Users/u/" + tail}, {"/Users/u/", "/Users/u/" + tail}, {"/", "/" + tail},
      {std::nullopt, "/tmp/" + tail}, {"", "/tmp/" + tail}, {"x", "x" + tail}};
  // clang-format on
  for (const auto& [home, cacheDir] : rows) {
    const testing_support::ScopedEnv env("HOME", home);
    EXPECT_EQ(cacheDir, getInstallAgentCacheDir()) << home.value_or("(unset)");
  }
  EXPECT_EQ("install", getInstallAgentExecutable(""));
  EXPECT_EQ("/a/install", getInstallAgentExecutable("/a"));
  EXPECT_EQ("/a/install", getInstallAgentExecutable("/a/"));
}

TEST(InstallLocationsTest, BundleForExecutable) {
  // clang-format off
  const char* rows[][3] = {  // executable, bundle, resources (each made first)
      {"A b.app/Contents/MacOS/setup", "A b.app", "A b.app/Contents/Resources"},
      {"A.app/Contents/MacOS/setup", "A.app", ""},  // no resource directory
      {"tools/setup", "tools", "tools"}, {"A.app/MacOS/setup", "A.app/MacOS", "A.app/MacOS"},
      {"A.app/Contents/Bin/setup", "A.app/Contents/Bin", "A.app/Contents/Bin"},
      {".app/Contents/MacOS/setup", ".app/Contents/MacOS", ".app/Contents/MacOS"},
      {"A.ap/Contents/MacOS/setup", "A.ap/Contents/MacOS", "A.ap/Contents/MacOS"}};
  // clang-format on
  for (const auto& [executable, bundle, resources] : rows) {
    const testing_support::ScopedTempDir dir;
    std::filesystem::create_directories(fw::deletingLastPathComponent(dir / executable));
    std::filesystem::create_directories(dir / resources);
    const auto found = fw::bundleForExecutable(dir / executable);
    ASSERT_TRUE(found) << executable;
    EXPECT_EQ(dir / bundle, found->bundlePath);
    EXPECT_EQ(*resources ? dir / resources : "", found->resourcePath);
  }
  EXPECT_FALSE(fw::bundleForExecutable(""));
}
