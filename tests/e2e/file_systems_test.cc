// The cache's whole road with the home on each common file system: those that exchange two paths
// in one step, and those (FUSE) where the swap falls back to renaming the old install agent aside.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// Mounts a file system of the kind $1 at $2: ext4, xfs and btrfs on a loop device over a sparse
// file, or tmpfs, overlay and bindfs, in the scratch directory $3.
const char* const kMount =
    "mkdir -p \"$3\" && cd \"$3\" && case $1 in\n"
    "tmpfs) mount -t tmpfs tmpfs \"$2\" ;;\n"
    "overlay) mkdir l u w && mount -t overlay -o \"lowerdir=l,upperdir=u,workdir=w\" x \"$2\" ;;\n"
    "bindfs) mkdir src && bindfs \"$3/src\" \"$2\" ;;\n"
    "*) truncate -s 320M img && mkfs.$1 -q img && mount -o loop img \"$2\" ;;\n"
    "esac";

// The home on a file system of its own for one scope; a loop device goes with its unmount.
class ScopedMount {
 public:
  ScopedMount(const std::string& kind, const std::string& target, const std::string& scratch)
      : target_(target) {
    const ProcessResult mounted =
        runProcess({"/bin/sh", "-c", kMount, "sh", kind, target, scratch});
    problem_ = mounted.exitStatus == 0 ? "" : "cannot mount " + kind + " here: " + mounted.err;
  }
  ~ScopedMount() {
    if (problem_.empty() && runProcess({"/bin/umount", "-d", target_}).exitStatus != 0) {
      runProcess({"/bin/umount", "-l", "-d", target_});  // busy: detached now, gone when free
    }
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  const std::string& problem() const { return problem_; }  // empty: mounted

 private:
  std::string target_;
  std::string problem_;
};

// Records its version, then stays while $AGENT_STAY exists, a run that still uses it.
const char* const kAgent =
    "cat \"$(dirname \"$0\")/version\" >> \"$BI_RECORD.runs\"\n"
    "while [ -e \"$AGENT_STAY\" ]; do sleep 0.02; done\n";

class FileSystemTest : public ProgramTest, public testing::WithParamInterface<const char*> {
 protected:
  ScopedMount mount_{GetParam(), home_, root_ / "fs"};
};

}  // namespace

TEST_P(FileSystemTest, CacheRoad) {
  if (!mount_.problem().empty()) {
    ASSERT_EQ(nullptr, std::getenv("CI")) << mount_.problem();
    GTEST_SKIP() << mount_.problem();
  }
  makeZip(archive_, {{"install", kAgent}, {"version", "v1\n"}});
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);
  EXPECT_EQ(0, run().exitStatus);
  EXPECT_EQ(304, server.requests(2)[1].status);

  // A replacement waits for the run that uses the old install agent, then takes its place.
  writeFile(root_ / "stay", "");
  auto reader = start({}, {{"AGENT_STAY", root_ / "stay"}}, false, "reader");
  ASSERT_TRUE(waitUntil([&] { return readFile(record_ + ".runs") == "v1\nv1\nv1\n"; }));
  makeZip(archive_, {{"install", kAgent}, {"version", "v2\n"}});
  auto writer = start({}, {}, false, "writer");
  EXPECT_EQ(-1, writer->wait(std::chrono::milliseconds(500))) << "replaced under a running agent";
  ::unlink((root_ / "stay").c_str());
  EXPECT_EQ(0, reader->wait());
  EXPECT_EQ(0, writer->wait()) << readFile(root_ / "writer.err");
  EXPECT_EQ(0, run().exitStatus);

  // Killed while it unpacks; the next run cleans up after it.
  makeZip(archive_,
          {{"install", kAgent}, {"version", "v3\n"}, {"ballast", std::string(64 << 20, 'x')}});
  auto killed = start();
  ASSERT_TRUE(waitUntil([&] {
    return std::ranges::any_of(listDir(cacheDir()), [](const std::string& entry) {
      return entry.starts_with("installagent.staging-");
    });
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
