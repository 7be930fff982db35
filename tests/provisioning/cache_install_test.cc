#include "provisioning/cache_install.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

#include "framework/base/unique_fd.h"
#include "platform/command_line.h"
#include "provisioning/cache_lock.h"
#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

namespace {

// The cache below a fresh home directory.
class CacheInstallTest : public testing::Test {
 protected:
  CacheInstallTest() { std::filesystem::create_directories(cache_); }
  // Whether another process could take the lock at once, "-x" exclusive or "-s" shared.
  bool othersCanLock(const char* mode) {
    return runShell(std::string("flock -n ") + mode + " " + smart_quote(lock_) + " true") == 0;
  }
  // Whether `check` holds in a process of its own (the lock is one per process), run as an
  // ordinary user who may change everything in the home directory.
  bool inChild(const std::function<bool()>& check) {
    runShell("chmod -R a+rwX " + smart_quote(home_.path()));
    return runUnprivileged([&] { return check() ? 0 : 1; }) == 0;
  }

  ScopedTempDir home_;
  ScopedEnv env_{"HOME", home_.path()};
  const std::string cache_ = home_.path() + "/.velmora/app_installer_cache/V3107c/korvex/";
  const std::string lock_ = cache_ + ".lock";
};

TEST_F(CacheInstallTest, OthersGetTheLockAtOnceAfterUnlock) {
  for (const bool shared : {true, false}) {
    EXPECT_TRUE(inChild([&] {
      ::close(0);  // the lock's descriptor may then be 0, as in a run started without input
      if (shared) {
        cache_lock::lockShared(cache_);
      } else if (!cache_lock::lockExclusive(cache_, [] { return true; })) {
        return false;
      }
      const bool held = !othersCanLock("-x") && othersCanLock("-s") == shared;
      cache_lock::unlock();
      return held && othersCanLock("-x");
    })) << shared;
  }
}

// Tests that a writer removes what gone runs left (a staging directory that nobody holds, a
// record never renamed into place) and not the staging directory of a living one, and that a
// second writer that finds this very install agent put in place meanwhile keeps it as installed.
TEST_F(CacheInstallTest, WriterReclaimsWhatNobodyHoldsAndKeepsTheSameAgent) {
  makeZip(home_ / "agent.zip", {{"install", "new"}});
  writeFile(cache_ + "installagent.staging-Gone12/install", "left by a killed run");
  writeFile(cache_ + ".signedby.Gone12", "K");
  writeFile(cache_ + ".signedby/x", "");  // no record, and in the way of one
  const std::string held = cache_ + "installagent.staging-Held12";
  std::filesystem::create_directory(held);
  const fw::UniqueFd holder(::open(held.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(0, ::flock(holder.get(), LOCK_EX));
  EXPECT_TRUE(inChild([&] {
    const auto install = [&] {
      return installStagedInstallAgent(
          unpackIntoStaging(home_ / "agent.zip", cache_, [](auto&, bool) {}), cache_, "\"t\"", "K",
          "", [] { return false; });
    };
    // The second finds the first one's install agent, marked, in place.
    return install() && ::mkdir((cache_ + "installagent/first").c_str(), 0700) == 0 && install() &&
           exists(cache_ + "installagent/first");
  }));
  EXPECT_EQ((std::vector<std::string>{".lock", ".signedby", ".validatestring", "installagent",
                                      "installagent.staging-Held12"}),
            listDir(cache_));
}

}  // namespace
