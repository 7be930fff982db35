// The cache's whole road with the home on each common file system: those that exchange two paths
// in one step, and those (FUSE) where the swap falls back to renaming the old install agent aside.

#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/fixture.h"
#include "platform/command_line.h"

using namespace testing_support;

namespace {

// A file system of the kind named, mounted at `target` for one scope: ext4, xfs and btrfs on a
// loop device over a sparse file, or tmpfs, overlay and bindfs over directories in `scratch`.
class ScopedMount {
 public:
  ScopedMount(const std::string& kind, const std::string& target, const std::string& scratch)
      : target_(smart_quote(target)) {
    const std::string s = smart_quote(scratch);
    std::string how = "truncate -s 320M " + s + "/img && mkfs." + kind + " -q " + s +
                      "/img && mount -o loop " + s + "/img " + target_;
    if (kind == "tmpfs") {
      how = "mount -t tmpfs tmpfs " + target_;
    } else if (kind == "overlay") {
      how = "mkdir " + s + "/l " + s + "/u " + s +
            "/w && mount -t overlay overlay -o lowerdir=" + s + "/l,upperdir=" + s +
            "/u,workdir=" + s + "/w " + target_;
    } else if (kind == "bindfs") {
      how = "mkdir " + s + "/src && bindfs " + s + "/src " + target_;
    }
    mounted_ = runShell("mkdir -p " + s + " && " + how) == 0;
  }
  // A loop device goes with its last unmount (-d also where it was not set to).
  ~ScopedMount() {
    if (mounted_) {
      runShell("umount -d " + target_ + " || umount -l -d " + target_);
    }
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  bool mounted() const { return mounted_; }

 private:
  std::string target_;
  bool mounted_ = false;
};

// Records its version, then stays while $AGENT_STAY exists, a run that still uses it.
std::map<std::string, std::string> agent(const std::string& version, size_t ballast = 0) {
  return {{"install", "echo " + version +
                          " >> \"$BI_RECORD.runs\"\n"
                          "while [ -e \"$AGENT_STAY\" ]; do sleep 0.02; done\n"},
          {"ballast", std::string(ballast, 'x')}};
}

class FileSystemTest : public ProgramTest, public testing::WithParamInterface<const char*> {
 protected:
  ScopedMount mount_{GetParam(), home_, root_ / "fs"};
};

}  // namespace

TEST_P(FileSystemTest, CacheRoad) {
  if (!mount_.mounted()) {
    ASSERT_EQ(nullptr, std::getenv("CI")) << "cannot mount " << GetParam();
    GTEST_SKIP() << "cannot mount " << GetParam() << " here (root and its tools needed)";
  }
  makeZip(archive_, agent("v1"));
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);
  EXPECT_EQ(0, run().exitStatus);
  EXPECT_EQ(304, server.requests(2)[1].status);

  // A replacement waits for the run that uses the old install agent, then takes its place.
  writeFile(root_ / "stay", "");
  auto reader = start({}, {{"AGENT_STAY", root_ / "stay"}}, false, "reader");
  ASSERT_TRUE(waitUntil([&] { return readFile(record_ + ".runs") == "v1\nv1\nv1\n"; }));
  makeZip(archive_, agent("v2"));
  auto writer = start({}, {}, false, "writer");
  EXPECT_EQ(-1, writer->wait(std::chrono::milliseconds(500))) << "replaced under a running agent";
  ::unlink((root_ / "stay").c_str());
  EXPECT_EQ(0, reader->wait());
  EXPECT_EQ(0, writer->wait()) << readFile(root_ / "writer.err");
  EXPECT_EQ(0, run().exitStatus);

  // Killed while it unpacks; the next run cleans up after it.
  makeZip(archive_, agent("v3", size_t{64} << 20));
  auto killed = start();
  ASSERT_TRUE(waitUntil([&] {
    for (const std::string& entry : listDir(cacheDir())) {
      if (entry.starts_with("installagent.staging-")) {
        return true;
      }
    }
    return false;
  }));
  ::kill(killed->pid(), SIGKILL);
  killed->wait();
  const ProcessResult next = run();
  EXPECT_EQ(0, next.exitStatus) << next.err;
  EXPECT_EQ("v1\nv1\nv1\nv2\nv2\nv3\n", readFile(record_ + ".runs"));
  expectCurrentCache(server);
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_));
}

INSTANTIATE_TEST_SUITE_P(Homes, FileSystemTest,
                         testing::Values("ext4", "xfs", "btrfs", "tmpfs", "overlay", "bindfs"),
                         [](const auto& row) { return std::string(row.param); });
