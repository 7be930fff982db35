// Several runs of the program for one user at once, against one endpoint: each run ends with a
// whole install agent run once, or with a clear failure; no run ever starts a partly unpacked
// install agent or pulls one away under a run that uses it, on any common file system, and a run
// killed half-way leaves nothing that the next does not clean up.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// Checks that every file of its own directory is there and intact, twice, with a pause between
// (until the file $AGENT_LEAVE exists, if set), and records "<version> <first check> <second
// check>"; marks its start.
const char* const kSelfCheckingAgent =
    "dir=$(dirname \"$0\")\n"
    "touch \"$BI_RECORD.started\"\n"
    "check() {\n"
    "  [ \"$(cat \"$dir\"/lib/part* | cksum)\" = \"$(cat \"$dir/lib/manifest\")\" ] &&\n"
    "  echo whole || echo broken\n"
    "}\n"
    "first=$(check)\n"
    "if [ -n \"$AGENT_LEAVE\" ]; then\n"
    "  while [ ! -e \"$AGENT_LEAVE\" ]; do sleep 0.02; done\n"
    "else sleep 0.3; fi\n"
    "printf '%s %s %s\\n' \"$(cat \"$dir/lib/version\")\" \"$first\" \"$(check)\" > "
    "\"$BI_RECORD\"\n";

class ConcurrencyTest : public ProgramTest {
 protected:
  // An archive whose install agent says `version` and carries enough files that a partial
  // unpack or a removal under a running agent would show.
  // `ballast` bytes more make its unpack last.
  void makeArchive(const std::string& version, int ballast = 0) {
    const std::string stage = root_ / ("stage-" + version);
    writeFile(stage + "/install", kSelfCheckingAgent);
    writeFile(stage + "/lib/version", version);
    ASSERT_EQ(0, runShell("cd " + stage +
                          " && for i in $(seq 10 40); do head -c 40000 /dev/urandom > lib/part$i;"
                          " done && cat lib/part* | cksum > lib/manifest && head -c " +
                          std::to_string(ballast) + " /dev/zero > lib/ballast && rm -f " +
                          archive_ + " && zip -q -r " + archive_ + " install lib"));
  }

  // In a session of its own, so that its install agent, which may wait for a file that a failed
  // test never writes, ends with it.
  std::unique_ptr<Child> startNamed(const std::string& name, Env env = {}) const {
    env["BI_RECORD"] = root_ / (name + ".record");
    return start({}, env, true, name);
  }

  // Every run either ran a whole install agent of this version, or failed clearly.
  void expectWholeOrClearFailure(const std::string& name, int status, const std::string& version) {
    const std::string err = readFile(root_ / (name + ".err"));
    if (status == 0) {
      EXPECT_EQ(version + " whole whole\n", readFile(root_ / (name + ".record"))) << err;
    } else {
      EXPECT_EQ(255, status);
      EXPECT_FALSE(exists(root_ / (name + ".record"))) << "a failed run ran the install agent";
      EXPECT_TRUE(err.ends_with("Installation failed.\n")) << err;
    }
  }
};

// Mounts a file system of the kind $1 at $2: ext4, xfs and btrfs on a loop device over a sparse
// file, or tmpfs, overlay and bindfs, in the scratch directory $3; nothing for no kind.
const char* const kMount =
    "mkdir -p \"$3\" && cd \"$3\" && case $1 in\n"
    "'') ;;\n"
    "tmpfs) mount -t tmpfs tmpfs \"$2\" ;;\n"
    "overlay) mkdir l u w && mount -t overlay -o \"lowerdir=l,upperdir=u,workdir=w\" x \"$2\" ;;\n"
    "bindfs) mkdir src && bindfs \"$3/src\" \"$2\" ;;\n"
    "*) truncate -s 320M img && mkfs.$1 -q img && mount -o loop img \"$2\" ;;\n"
    "esac";

// The home on a file system of its own, or the sandbox's for no kind.
class CacheRoadTest : public ConcurrencyTest, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    const ProcessResult mounted =
        runProcess({"/bin/sh", "-c", kMount, "sh", GetParam(), home_, root_ / "fs"});
    const std::string problem = "cannot mount " + std::string(GetParam()) + " here: " + mounted.err;
    ASSERT_TRUE(mounted.exitStatus == 0 || std::getenv("CI") == nullptr) << problem;
    if (mounted.exitStatus != 0) {
      GTEST_SKIP() << problem;
    }
  }
  // Lazily, and its loop device with it: a busy one goes when its last user has. Where nothing
  // is mounted, umount refuses and changes nothing.
  void TearDown() override { runProcess({"/bin/umount", "-l", "-d", home_}); }
};

// How many runs at once, and whether the cache is out of date before they start.
class CrowdTest : public ConcurrencyTest,
                  public testing::WithParamInterface<std::tuple<int, bool>> {};

}  // namespace

TEST_P(CrowdTest, EachRunIsWholeOrFailsClearly) {
  makeArchive("v1");
  Endpoint server(archive_, {"--rate", "8000000"});
  setEndpointUrl(server.url());
  std::string version = "v1";
  const auto [runsAtOnce, staleCache] = GetParam();
  if (staleCache) {
    ASSERT_EQ(0, run().exitStatus);
    makeArchive(version = "v2");
  }
  std::vector<std::unique_ptr<Child>> runs;
  for (int i = 0; i < runsAtOnce; ++i) {
    runs.push_back(startNamed("run" + std::to_string(i)));
  }
  int succeeded = 0;
  for (int i = 0; i < runsAtOnce; ++i) {
    const int status = runs[static_cast<size_t>(i)]->wait(std::chrono::seconds(60));
    expectWholeOrClearFailure("run" + std::to_string(i), status, version);
    succeeded += status == 0 ? 1 : 0;
  }
  EXPECT_GT(succeeded, 0);
  expectCurrentCache(server);
}

INSTANTIATE_TEST_SUITE_P(Crowds, CrowdTest,
                         testing::Combine(testing::Values(2, 8), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<int, bool>>& row) {
                           return std::to_string(std::get<0>(row.param)) +
                                  (std::get<1>(row.param) ? "OnAStaleCache" : "OnAnEmptyCache");
                         });

// Tests the cache's whole road with the home on each common file system (those that exchange two
// paths in one step, and FUSE, where the swap renames the old install agent aside): a download
// and a 304; a replacement that waits while another run's install agent runs from the cache, ends
// at once, leaving that agent alone, when its window closes meanwhile, and shares what it put in
// place with other runs; a run killed while it unpacks, after which the next cleans up.
TEST_P(CacheRoadTest, EveryStep) {
  makeArchive("v1");
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);
  EXPECT_EQ("Downloading\n", run().err);
  EXPECT_EQ(304, server.requests(2)[1].status);
  EXPECT_EQ(0u, server.requests(2)[1].bodyBytes);
  auto reader = startNamed("reader", {{"AGENT_LEAVE", root_ / "leave"}});
  ASSERT_TRUE(waitUntil([&] { return exists(root_ / "reader.record.started"); }));
  // Unpacked beside the install agent in use (unzip has ended), and waiting for it.
  const auto staged = [&](Child& run) {
    const std::string tasks = "/proc/" + std::to_string(run.pid()) + "/task/";
    for (const std::string& task : listDir(tasks)) {
      if (!readFile(tasks + task + "/children").empty()) {
        return false;  // unzip still runs (a child of the download's thread)
      }
    }
    const std::vector<std::string> entries = listDir(cacheDir());
    return std::any_of(entries.begin(), entries.end(), [&](const std::string& entry) {
      return entry.starts_with("installagent.") && exists(cacheDir() + entry + "/lib/version");
    });
  };
  makeArchive("v2");
  auto closing = startNamed("closing");
  ASSERT_TRUE(waitUntil([&] { return staged(*closing); }));
  ::kill(closing->pid(), SIGTERM);
  EXPECT_EQ(255, closing->wait(std::chrono::seconds(2)));
  // An update, which says what it fetched.
  EXPECT_EQ(0, ::fnmatch("Downloading\nUpdate assembled from the kept archive, *\n"
                         "Initializing the installer\nInstallation failed.\n",
                         readFile(root_ / "closing.err").c_str(), 0))
      << readFile(root_ / "closing.err");
  EXPECT_EQ("v1", readFile(cacheDir() + "installagent/lib/version"));

  makeArchive("v3");
  auto writer = startNamed("writer", {{"AGENT_LEAVE", root_ / "leave-too"}});
  ASSERT_TRUE(waitUntil([&] { return staged(*writer); }));
  EXPECT_EQ(-1, writer->wait(std::chrono::milliseconds(300))) << "replaced under a running agent";
  writeFile(root_ / "leave", "");
  EXPECT_EQ(0, reader->wait()) << readFile(root_ / "reader.err");
  // The writer uses what it put in place like any other run: others run it meanwhile.
  ASSERT_TRUE(waitUntil([&] { return exists(root_ / "writer.record.started"); }));
  auto another = startNamed("another", {{"AGENT_LEAVE", root_ / "leave-too"}});
  EXPECT_TRUE(waitUntil([&] { return exists(root_ / "another.record.started"); }));
  writeFile(root_ / "leave-too", "");
  EXPECT_EQ(0, writer->wait()) << readFile(root_ / "writer.err");
  EXPECT_EQ(0, another->wait()) << readFile(root_ / "another.err");
  EXPECT_EQ("v1 whole whole\n", readFile(root_ / "reader.record"));
  EXPECT_EQ("v3 whole whole\n", readFile(root_ / "writer.record"));
  EXPECT_EQ("v3 whole whole\n", readFile(root_ / "another.record"));

  // Killed while it unpacks; the next run cleans up after it.
  makeArchive("v4", 64 << 20);
  auto killed = startNamed("killed");
  ASSERT_TRUE(waitUntil([&] {
    return std::ranges::any_of(listDir(cacheDir()), [](const std::string& entry) {
      return entry.starts_with("installagent.staging-");
    });
  }));
  ::kill(killed->pid(), SIGKILL);
  killed->wait();
  EXPECT_TRUE(waitUntil([&] {  // its unzip dies with it
    return std::ranges::none_of(listDir("/proc"), [&](const std::string& pid) {
      const std::string command = readFile("/proc/" + pid + "/cmdline");
      return command.find("unzip") != std::string::npos &&
             command.find(cacheDir()) != std::string::npos;
    });
  }));
  const ProcessResult next = run();
  EXPECT_EQ(0, next.exitStatus) << next.err;
  EXPECT_EQ("v4 whole whole\n", readFile(record_));
  expectCurrentCache(server);
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_));

  // A transfer cut short, resumed at the same URL from what the home's file system kept (no kept
  // archive: the run downloads the archive rather than assembling an update).
  makeArchive("v5");
  std::filesystem::remove(cacheDir() + ".archive");
  std::string port;
  {
    const Endpoint cutting(archive_, {"--cut-after", "600000"});
    setEndpointUrl(cutting.url());
    port = cutting.url("").substr(17);
    EXPECT_EQ(255, run().exitStatus);
  }
  const Endpoint whole(archive_, {"--port", port});
  const ProcessResult resumed = run();
  EXPECT_EQ(0, resumed.exitStatus) << resumed.err;
  EXPECT_NE(std::string::npos, resumed.err.find("Resuming the download after 600000 of "))
      << resumed.err;
  EXPECT_EQ("v5 whole whole\n", readFile(record_));
  expectCurrentCache(whole);
}

INSTANTIATE_TEST_SUITE_P(Homes, CacheRoadTest,
                         testing::Values("", "ext4", "xfs", "btrfs", "tmpfs", "overlay", "bindfs"),
                         [](const auto& row) { return *row.param ? row.param : "Sandbox"; });
