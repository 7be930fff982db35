// SIGINT and SIGTERM at each phase of a run: the run ends with a clear message and status 255,
// its temporary directory removed and the cache either whole or without an install agent.

#include <gtest/gtest.h>

#include <csignal>

#include "e2e/agent_fixture.h"
#include "support/endpoint_server.h"
#include "support/files.h"

using namespace testing_support;

namespace {

// An install agent that records its start, then takes its time.
const char* const kSlowAgent =
    "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\n"
    "sleep 30\n";

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
    ASSERT_TRUE(waitUntil([&] { return exists(sandbox_.record); })) << "no start: " << err();
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
