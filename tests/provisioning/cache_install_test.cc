#include "provisioning/cache_install.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

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
  // Another run's shared hold on the lock.
  fw::UniqueFd holdShared() {
    fw::UniqueFd fd(::open(lock_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    EXPECT_EQ(0, ::flock(fd.get(), LOCK_SH));
    return fd;
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

// Tests that an exclusive lock is refused while another run holds the lock, that the wait for
// it asks whether to give up, and that it is had as soon as the other run lets go.
TEST_F(CacheInstallTest, ExclusiveWaitsUntilOthersLetGo) {
  const fw::UniqueFd other = holdShared();
  EXPECT_TRUE(inChild([&] {
    int asked = 0;
    if (cache_lock::tryLockExclusive(cache_) ||
        cache_lock::lockExclusive(cache_, [&] { return ++asked == 2; })) {
      return false;
    }
    // The other run's hold is this process's too, inherited: let it go while waiting.
    const bool locked = cache_lock::lockExclusive(
        cache_, [&] { return ::flock(other.get(), LOCK_UN) != 0 || ++asked > 4; });
    return locked && asked == 3 && !othersCanLock("-s");
  }));
}

// Tests that a lock file that cannot be opened makes no run wait.
TEST_F(CacheInstallTest, UnopenableLockFileNeverWaits) {
  std::filesystem::create_directories(lock_);
  EXPECT_TRUE(inChild([&] {
    cache_lock::lockShared(cache_);
    return cache_lock::tryLockExclusive(cache_) &&
           cache_lock::lockExclusive(cache_, [] { return true; });
  }));
}

// Tests that an install puts the new agent in the place of the old one, if any, with its
// validation string, and keeps it for this run; and that one whose final move fails (here onto
// a file) leaves neither the staging directory nor a validation string, nor the lock held.
TEST_F(CacheInstallTest, InstallStagedInstallAgent) {
  const std::string staging = cache_ + "installagent.staging-t";
  // Before: nothing, an old install agent, a file in the way.
  for (const std::string before : {"", "installagent/install", "installagent"}) {
    const bool moveFails = before == "installagent";
    std::filesystem::remove_all(cache_ + "installagent");
    if (!before.empty()) {
      writeFile(cache_ + before, "old");
    }
    writeFile(cache_ + ".validatestring", "\"old\"");
    writeFile(staging + "/install", "new");
    EXPECT_TRUE(inChild([&] {
      const bool installed =
          installStagedInstallAgent(staging, cache_, "\"new\"", [] { return false; });
      return installed != moveFails && othersCanLock("-x") == moveFails && othersCanLock("-s");
    })) << before;
    EXPECT_FALSE(exists(staging));
    EXPECT_EQ(moveFails ? "" : "\"new\"", readFile(cache_ + ".validatestring"));
    EXPECT_EQ(moveFails ? "old" : "new",
              readFile(cache_ + (moveFails ? "installagent" : "installagent/install")));
  }
}

// Tests that a current agent is kept, and locked for this run, and that a stale one goes with
// its validation string unless another run is using it.
TEST_F(CacheInstallTest, KeepCachedInstallAgentIfCurrent) {
  // clang-format off
  const std::tuple<std::optional<std::string>, bool, bool> rows[] = {  // tag sent, in use, kept
      {"\"t1\"", false, true}, {"\"t2\"", false, false}, {std::nullopt, false, false}, {"\"t2\"", true, false}};
  // clang-format on
  for (const auto& [tag, inUse, kept] : rows) {
    writeFile(cache_ + "installagent/install", "agent");
    writeFile(cache_ + ".validatestring", "\"t1\"");
    const fw::UniqueFd other = inUse ? holdShared() : fw::UniqueFd();
    EXPECT_TRUE(inChild([&] {
      const bool current = keepCachedInstallAgentIfCurrent(cache_, tag);
      return current == kept && othersCanLock("-x") == (!kept && !inUse);
    })) << tag.value_or("none")
        << inUse;
    EXPECT_EQ(kept || inUse, exists(cache_ + "installagent"));
    EXPECT_EQ(kept || inUse, exists(cache_ + ".validatestring"));
  }
}

TEST_F(CacheInstallTest, CachedValidationStringIsAUsableHeaderValue) {
  writeFile(cache_ + ".validatestring", "\"t1\"");
  EXPECT_EQ("", cachedValidationString(cache_));  // no install agent
  writeFile(cache_ + "installagent/install", "agent");
  // clang-format off
  const std::pair<std::string, std::string> rows[] = {  // stored, sent
      {"\"t1\"", "\"t1\""}, {"W/\"a b\tc\xc3\xa9\"", "W/\"a b\tc\xc3\xa9\""}, {"\"a\x01\"", ""}, {"\"a\x1f\"", ""}, {"\"a\x7f\"", ""}};
  // clang-format on
  for (const auto& [stored, sent] : rows) {
    writeFile(cache_ + ".validatestring", stored);
    EXPECT_EQ(sent, cachedValidationString(cache_)) << stored;
  }
}

}  // namespace
