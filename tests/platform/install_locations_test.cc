#include "platform/install_locations.h"

#include <gtest/gtest.h>

#include "framework/os/main_bundle.h"
#include "framework/os/paths.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/scoped_temp_dir.h"

using testing_support::ScopedEnv;
using testing_support::ScopedTempDir;

TEST(CacheDirTest, FollowsHomeWithOneSeparator) {
  const std::string tail = ".velmora/app_installer_cache/V3107c/korvex/";
  {
    const ScopedEnv home("HOME", "/Users/u");
    EXPECT_EQ("/Users/u/" + tail, getInstallAgentCacheDir());
  }
  {
    const ScopedEnv home("HOME", "/Users/u/");
    EXPECT_EQ("/Users/u/" + tail, getInstallAgentCacheDir());
  }
  {
    const ScopedEnv home("HOME", "/");
    EXPECT_EQ("/" + tail, getInstallAgentCacheDir());
  }
}

TEST(CacheDirTest, FallsBackToTmpWithoutHome) {
  const std::string expected = "/tmp/.velmora/app_installer_cache/V3107c/korvex/";
  {
    const ScopedEnv home("HOME", std::nullopt);
    EXPECT_EQ(expected, getInstallAgentCacheDir());
  }
  {
    const ScopedEnv home("HOME", "");
    EXPECT_EQ(expected, getInstallAgentCacheDir());
  }
}

TEST(CacheDirTest, OneByteHomeGetsNoSeparator) {
  const ScopedEnv home("HOME", "x");
  EXPECT_EQ("x.velmora/app_installer_cache/V3107c/korvex/", getInstallAgentCacheDir());
}

TEST(InstallAgentExecutableTest, JoinsWithOneSeparator) {
  EXPECT_EQ("install", getInstallAgentExecutable(""));
  EXPECT_EQ("/a/install", getInstallAgentExecutable("/a"));
  EXPECT_EQ("/a/install", getInstallAgentExecutable("/a/"));
}

TEST(InstallAgentDirOnDiskTest, OnlyWhileTheEntryPointExists) {
  const ScopedTempDir home;
  const ScopedEnv env("HOME", home.path());
  EXPECT_EQ("", installAgentDirOnDisk());
  const std::string agentDir = getInstallAgentCacheDir() + "installagent/";
  testing_support::makeDirs(agentDir);
  EXPECT_EQ("", installAgentDirOnDisk());
  testing_support::writeFile(agentDir + "install", "exit 0\n");
  EXPECT_EQ(home.path() + "/.velmora/app_installer_cache/V3107c/korvex/installagent/",
            installAgentDirOnDisk());
  ::unlink((agentDir + "install").c_str());
  EXPECT_EQ("", installAgentDirOnDisk());
}

TEST(MainBundleTest, AppLayoutHasBundleAndResources) {
  const ScopedTempDir dir;
  const std::string app = dir / "My \"Setup\".app";
  testing_support::makeDirs(app + "/Contents/MacOS");
  auto bundle = fw::bundleForExecutable(app + "/Contents/MacOS/setup");
  ASSERT_TRUE(bundle);
  EXPECT_EQ(app, bundle->bundlePath);
  EXPECT_EQ("", bundle->resourcePath);  // no Contents/Resources yet
  testing_support::makeDirs(app + "/Contents/Resources");
  bundle = fw::bundleForExecutable(app + "/Contents/MacOS/setup");
  ASSERT_TRUE(bundle);
  EXPECT_EQ(app + "/Contents/Resources", bundle->resourcePath);
}

TEST(MainBundleTest, OtherExecutablesAreTheirOwnDirectory) {
  auto bundle = fw::bundleForExecutable("/opt/tools/setup");
  ASSERT_TRUE(bundle);
  EXPECT_EQ("/opt/tools", bundle->bundlePath);
  EXPECT_EQ("/opt/tools", bundle->resourcePath);
  // Only a real X.app/Contents/MacOS chain makes a bundle.
  bundle = fw::bundleForExecutable("/opt/Setup.app/MacOS/setup");
  EXPECT_EQ("/opt/Setup.app/MacOS", bundle->bundlePath);
  bundle = fw::bundleForExecutable("/opt/.app/Contents/MacOS/setup");
  EXPECT_EQ("/opt/.app/Contents/MacOS", bundle->bundlePath);
  EXPECT_FALSE(fw::bundleForExecutable(""));
}

TEST(ExecutableLocationTest, ABareToolIsItsOwnBundle) {
  const std::string executable = fw::readSymlink("/proc/self/exe");
  const std::string holder = executable.substr(0, executable.rfind('/'));
  EXPECT_EQ(holder, getPathToExecutable());
  EXPECT_EQ(holder.substr(0, holder.rfind('/')), getDirectoryOfExecutable());
  EXPECT_EQ(holder, getBundleLocation());
  EXPECT_EQ(holder + "/InstallAgent.zip", getDefaultInstallAgentLocation());
}
