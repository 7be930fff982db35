// SIGINT and SIGTERM at each phase of a run: the run ends with a clear message and status 255,
// its temporary directory removed and the cache either whole or without an install agent.

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sstream>
#include <thread>

#include "e2e/agent_fixture.h"
#include "support/endpoint_server.h"
#include "support/files.h"

using namespace testing_support;

namespace {

// An install agent that records its start, then takes its time as `sleep` itself (a shell
// takes a SIGINT that comes between two commands only once the next one has ended).
const char* const kSlowAgent =
    "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\n"
    "exec sleep 30\n";

// The command name of the process's first child; empty while it has none.
std::string firstChildCommand(pid_t pid) {
  const std::string id = std::to_string(pid);
  std::istringstream children(readFile("/proc/" + id + "/task/" + id + "/children"));
  std::string child;
  if (!(children >> child)) {
    return "";
  }
  std::string command = readFile("/proc/" + child + "/comm");
  if (!command.empty() && command.back() == '\n') {
    command.pop_back();
  }
  return command;
}

class TerminationTest : public testing::Test {
 protected:
  TerminationTest() : sandbox_(root_.path()) {
    program_ = installFlat(root_ / "app");
    // unzip as the user has it, but slow to start, so that a signal can land while it runs;
    // it leaves a mark when it starts.
    makeDirs(root_ / "slow-bin");
    writeFile(root_ / "slow-bin/unzip",
              "touch \"$BI_RECORD.unzip\"\nsleep 2\nexec /usr/bin/unzip \"$@\"\n", 0755);
  }

  std::unique_ptr<BackgroundProcess> start(bool ownGroup = false, bool slowUnzip = false) {
    std::map<std::string, std::optional<std::string>> env;
    if (slowUnzip) {
      env["PATH"] = root_ / "slow-bin:" + std::string(std::getenv("PATH"));
    }
    return sandbox_.start(program_, {"arg"}, root_ / "out", root_ / "err", ownGroup, env);
  }

  std::string err() const { return readFile(root_ / "err"); }

  void expectEndedCleanly(int status) {
    EXPECT_EQ(255, status) << err();
    EXPECT_EQ("Installation failed.\n", err().substr(err().rfind('\n', err().size() - 2) + 1))
        << err();
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty()) << "temporary directory left behind";
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
  InstalledProgram program_;
};

}  // namespace

TEST_F(TerminationTest, WhileTheInstallAgentRuns) {
  writeFile(program_.resources + "/InstallerForMac", kSlowAgent);
  for (const bool toTheGroup : {false, true}) {
    SCOPED_TRACE(toTheGroup ? "SIGINT to the process group, as a terminal sends it"
                            : "SIGTERM to the program alone");
    ::unlink(sandbox_.record.c_str());
    ::unlink((root_ / "err").c_str());
    auto process = start(/*ownGroup=*/toTheGroup);
    ASSERT_TRUE(waitUntil([&] { return firstChildCommand(process->pid()) == "sleep"; }))
        << "no start: " << err();
    if (toTheGroup) {
      ::kill(-process->pid(), SIGINT);
    } else {
      ::kill(process->pid(), SIGTERM);
    }
    ASSERT_TRUE(waitUntil([&] { return process->hasExited(); }, std::chrono::seconds(10)))
        << "no end: " << err() << "\n"
        << runProcess("/bin/ps", {"ps", "-eo", "pid,ppid,pgid,stat,wchan:20,args", "--forest"}).out;
    expectEndedCleanly(process->stop());
    EXPECT_EQ("Application install was not successful.\nInstallation failed.\n", err());
  }
}

TEST_F(TerminationTest, WhileAShippedArchiveIsUnpacked) {
  makeZip(program_.resources + "/InstallAgent.zip", {{"install", kSlowAgent}});
  auto process = start(false, /*slowUnzip=*/true);
  ASSERT_TRUE(waitUntil([&] { return exists(sandbox_.record + ".unzip"); }));
  ::kill(process->pid(), SIGTERM);
  ASSERT_TRUE(waitUntil([&] { return process->hasExited(); }, std::chrono::seconds(10)));
  expectEndedCleanly(process->stop());
  EXPECT_EQ(
      "Failed to unzip the install agent\nFailed to initialize the install agent.\n"
      "Installation failed.\n",
      err());
  EXPECT_FALSE(exists(sandbox_.record));  // the install agent never started
}

TEST_F(TerminationTest, WhileADownloadIsUnpackedIntoTheCache) {
  const std::string archive = root_ / "agent.zip";
  makeZip(archive, {{"install", kSlowAgent}});
  EndpointServer server(archive);
  writeFile(program_.resources + "/installAgentURL.txt", server.url("/agent.zip") + "\n");
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ::unlink((sandbox_.record + ".unzip").c_str());
    auto process = start(false, /*slowUnzip=*/true);
    ASSERT_TRUE(waitUntil([&] { return exists(sandbox_.record + ".unzip"); })) << err();
    ::kill(process->pid(), signal);
    ASSERT_TRUE(waitUntil([&] { return process->hasExited(); }, std::chrono::seconds(10)));
    expectEndedCleanly(process->stop());
    EXPECT_FALSE(exists(sandbox_.record));
    const std::string cache = sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/";
    EXPECT_FALSE(exists(cache + "installagent/install"));
    for (const std::string& entry : listDir(cache)) {
      // No staging directory, no validation string.
      EXPECT_TRUE(entry == "installagent" || entry == ".lock") << entry;
    }
  }
}

// Tests that the window closed at any moment (here by SIGINT or SIGTERM, at random times
// during the download, the unpack or the hand-over) never leaves a broken run or cache behind.
TEST_F(TerminationTest, ClosedAtRandomMoments) {
  const std::string archive = root_ / "agent.zip";
  makeZip(archive,
          {{"install", recordingAgentScript()}, {"payload", std::string(3 * 1024 * 1024, 'p')}});
  EndpointServer server(archive, {"--rate", "30000000"});
  writeFile(program_.resources + "/installAgentURL.txt", server.url("/agent.zip") + "\n");
  const std::string cache = sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/";
  std::mt19937 random(7);
  std::uniform_int_distribution<int> delayMs(0, 250);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ::system(("rm -rf " + sandbox_.home + "/.velmora").c_str());
    ::unlink((root_ / "err").c_str());
    const int runsBefore = sandbox_.agentRuns();
    auto process = start();
    // From its temporary directory on, the program takes signals in order (before that, they
    // end it as any program).
    ASSERT_TRUE(
        waitUntil([&] { return !listDir(sandbox_.tmpdir).empty() || process->hasExited(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    if (!process->hasExited()) {
      ::kill(process->pid(), round % 2 == 0 ? SIGINT : SIGTERM);
    }
    ASSERT_TRUE(waitUntil([&] { return process->hasExited(); }, std::chrono::seconds(20))) << err();
    const int status = process->stop();
    const int runs = sandbox_.agentRuns() - runsBefore;
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
    if (status == 0) {
      EXPECT_EQ(1, runs);  // the signal came after the install agent had finished
    } else {
      EXPECT_EQ(255, status) << err();
      EXPECT_LE(runs, 1);
      EXPECT_EQ("Installation failed.\n", err().substr(err().rfind('\n', err().size() - 2) + 1));
    }
    // The cache holds a whole install agent with its validation string, or none.
    if (exists(cache + "installagent/install")) {
      EXPECT_EQ(3u * 1024 * 1024, readFile(cache + "installagent/payload").size());
      EXPECT_TRUE(exists(cache + ".validatestring"));
    } else {
      EXPECT_FALSE(exists(cache + ".validatestring"));
    }
    for (const std::string& entry : listDir(cache)) {
      EXPECT_TRUE(entry == "installagent" || entry == ".lock" || entry == ".validatestring")
          << entry;
    }
  }
}
