// Several runs of the program for one user at once, against one endpoint: each run ends with a
// whole install agent run once, or with a clear failure; no run ever starts a partly unpacked
// install agent, and the validation string describes the install agent that the cache holds.

#include <gtest/gtest.h>

#include "e2e/agent_fixture.h"
#include "support/endpoint_server.h"
#include "support/files.h"

using namespace testing_support;

namespace {

// Checks that every file of its own directory is there and intact, twice, with a pause
// between, and records "<version> <first check> <second check>"; marks its start.
const char* const kSelfCheckingAgent =
    "dir=$(dirname \"$0\")\n"
    "touch \"$BI_RECORD.started\"\n"
    "check() {\n"
    "  [ -f \"$dir/lib/manifest\" ] &&\n"
    "  [ \"$(cat \"$dir\"/lib/part* | cksum)\" = \"$(cat \"$dir/lib/manifest\")\" ] &&\n"
    "  echo whole || echo broken\n"
    "}\n"
    "first=$(check)\n"
    "sleep \"${AGENT_PAUSE:-0.3}\"\n"
    "second=$(check)\n"
    "printf '%s %s %s\\n' \"$(cat \"$dir/lib/version\" 2>/dev/null)\" \"$first\" \"$second\" "
    "> \"$BI_RECORD\"\n";

class ConcurrencyTest : public testing::Test {
 protected:
  ConcurrencyTest() : sandbox_(root_.path()) {
    program_ = installFlat(root_ / "app");
    archive_ = root_ / "agent.zip";
  }

  // An archive whose install agent says `version` and carries enough files that a partial
  // unpack or a removal under a running agent would show.
  void makeArchive(const std::string& version) {
    const std::string stage = root_ / ("stage-" + version);
    makeDirs(stage + "/lib");
    writeFile(stage + "/install", kSelfCheckingAgent);
    writeFile(stage + "/lib/version", version);
    const std::string script =
        "cd " + stage +
        " && for i in $(seq 10 40); do head -c 40000 /dev/urandom > lib/part$i; "
        "done && cat lib/part* | cksum > lib/manifest && rm -f " +
        archive_ + " && zip -q -r " + archive_ + " install lib";
    ASSERT_EQ(0, runProcess("/bin/sh", {"sh", "-c", script}).exitStatus);
  }

  struct Outcome {
    int status;
    std::string record;
    std::string err;
  };

  // Starts `count` runs at once and waits for all of them.
  std::vector<Outcome> runAtOnce(int count, const std::string& tag) {
    std::vector<std::unique_ptr<BackgroundProcess>> processes;
    for (int i = 0; i < count; ++i) {
      const std::string name = tag + std::to_string(i);
      processes.push_back(sandbox_.start(program_, {}, root_ / (name + ".out"),
                                         root_ / (name + ".err"), false,
                                         {{"BI_RECORD", root_ / (name + ".record")}}));
    }
    std::vector<Outcome> outcomes;
    for (int i = 0; i < count; ++i) {
      const std::string name = tag + std::to_string(i);
      EXPECT_TRUE(waitUntil([&] { return processes[static_cast<size_t>(i)]->hasExited(); },
                            std::chrono::seconds(60)));
      outcomes.push_back({processes[static_cast<size_t>(i)]->stop(),
                          readFile(root_ / (name + ".record")), readFile(root_ / (name + ".err"))});
    }
    return outcomes;
  }

  // Every run either ran a whole install agent of this version once, or failed clearly.
  void expectWholeOrClearFailure(const std::vector<Outcome>& outcomes, const std::string& version) {
    int succeeded = 0;
    for (const Outcome& outcome : outcomes) {
      if (outcome.status == 0) {
        ++succeeded;
        EXPECT_EQ(version + " whole whole\n", outcome.record) << outcome.err;
      } else {
        EXPECT_EQ(255, outcome.status);
        EXPECT_EQ("", outcome.record) << "a failed run must not have run the install agent";
        EXPECT_NE(std::string::npos, outcome.err.find("Installation failed.\n")) << outcome.err;
      }
    }
    EXPECT_GT(succeeded, 0);
    std::cout << "[ figures  ] " << succeeded << " of " << outcomes.size()
              << " runs ran the install agent, the others failed clearly\n";
  }

  void expectCacheDescribesItsAgent(const EndpointServer& server) {
    const std::string cache = sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/";
    const ProcessResult head = runProcess("/usr/bin/curl", {"curl", "-sI", server.url("/a.zip")});
    const size_t at = head.out.find("ETag: ");
    ASSERT_NE(std::string::npos, at);
    const std::string tag = head.out.substr(at + 6, head.out.find('\r', at) - at - 6);
    EXPECT_EQ(tag, readFile(cache + ".validatestring"));
    EXPECT_EQ((std::vector<std::string>{".lock", ".validatestring", "installagent"}),
              listDir(cache));
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
  InstalledProgram program_;
  std::string archive_;
};

}  // namespace

TEST_F(ConcurrencyTest, EmptyCache) {
  makeArchive("v1");
  EndpointServer server(archive_, {"--rate", "8000000"});
  writeFile(program_.resources + "/installAgentURL.txt", server.url("/a.zip") + "\n");
  for (const int count : {2, 8}) {
    SCOPED_TRACE(count);
    ::system(("rm -rf " + sandbox_.home + "/.velmora").c_str());
    expectWholeOrClearFailure(runAtOnce(count, "empty" + std::to_string(count) + "-"), "v1");
    expectCacheDescribesItsAgent(server);
  }
}

TEST_F(ConcurrencyTest, StaleCache) {
  makeArchive("v1");
  EndpointServer server(archive_, {"--rate", "8000000"});
  writeFile(program_.resources + "/installAgentURL.txt", server.url("/a.zip") + "\n");
  int version = 1;
  for (const int count : {2, 8}) {
    SCOPED_TRACE(count);
    ASSERT_EQ(0, sandbox_.run(program_, {}, {{"BI_RECORD", root_ / "warm.record"}}).exitStatus);
    makeArchive("v" + std::to_string(++version));  // the cache is out of date now
    expectWholeOrClearFailure(runAtOnce(count, "stale" + std::to_string(count) + "-"),
                              "v" + std::to_string(version));
    expectCacheDescribesItsAgent(server);
  }
}

// Tests that a run which replaces the install agent waits while another run's install agent
// runs from the cache, instead of pulling it away under it.
TEST_F(ConcurrencyTest, ReplacementWaitsForARunningInstallAgent) {
  makeArchive("v1");
  EndpointServer server(archive_);
  writeFile(program_.resources + "/installAgentURL.txt", server.url("/a.zip") + "\n");
  ASSERT_EQ(0, sandbox_.run(program_, {}, {{"BI_RECORD", root_ / "warm.record"}}).exitStatus);

  auto reader = sandbox_.start(program_, {}, root_ / "reader.out", root_ / "reader.err", false,
                               {{"BI_RECORD", root_ / "reader.record"}, {"AGENT_PAUSE", "1.5"}});
  ASSERT_TRUE(waitUntil([&] { return exists(root_ / "reader.record.started"); }));
  makeArchive("v2");
  auto writer = sandbox_.start(program_, {}, root_ / "writer.out", root_ / "writer.err", false,
                               {{"BI_RECORD", root_ / "writer.record"}});
  ASSERT_TRUE(waitUntil([&] { return reader->hasExited(); }, std::chrono::seconds(30)));
  ASSERT_TRUE(waitUntil([&] { return writer->hasExited(); }, std::chrono::seconds(30)));
  EXPECT_EQ(0, reader->stop()) << readFile(root_ / "reader.err");
  EXPECT_EQ(0, writer->stop()) << readFile(root_ / "writer.err");
  EXPECT_EQ("v1 whole whole\n", readFile(root_ / "reader.record"));
  EXPECT_EQ("v2 whole whole\n", readFile(root_ / "writer.record"));
  expectCacheDescribesItsAgent(server);
}
