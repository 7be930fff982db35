// The program as a user meets it: copied into a bundle layout, run with real sh and unzip, the
// install agent recording exactly what it received.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e/agent_fixture.h"
#include "support/files.h"

using namespace testing_support;

namespace {

// Arguments that a careless shell command line would change or act on.
const std::vector<std::string> kUserArgs = {
    "-v",        "my file",   "a\"b", "$(touch pwned)", "`id`", "x;y", "",
    "tab\there", "new\nline", "\\",   "caf\xc3\xa9",
};

enum class Layout { kFlat, kApp };

class MainFlowTest : public testing::TestWithParam<Layout> {
 protected:
  MainFlowTest() : sandbox_(root_.path()) {}

  InstalledProgram install() {
    // A blank and a double quote in the bundle's path on purpose.
    const std::string dir = root_ / "Apps dir \"q\"";
    return GetParam() == Layout::kFlat ? installFlat(dir + "/flat tool")
                                       : installApp(dir, "My \"Setup\".app");
  }

  std::vector<std::string> expectedArgs(const InstalledProgram& program) const {
    std::vector<std::string> expected = {"-installbundle", program.resources + "/bundle.zip"};
    expected.insert(expected.end(), kUserArgs.begin(), kUserArgs.end());
    return expected;
  }

  void expectSuccessfulHandOver(const InstalledProgram& program, const ProcessResult& result) {
    EXPECT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(expectedArgs(program), sandbox_.recordedArgs());
    EXPECT_EQ(1, sandbox_.agentRuns());
    EXPECT_TRUE(listDir(sandbox_.tmpdir).empty()) << "temporary directory left behind";
    EXPECT_FALSE(exists(root_ / "pwned"));
  }

  ScopedTempDir root_;
  ProgramRun sandbox_;
};

}  // namespace

TEST_P(MainFlowTest, ShippedEntryPointRunsInPlace) {
  const InstalledProgram program = install();
  writeFile(program.resources + "/InstallerForMac", recordingAgentScript(), 0644);
  makeZip(program.resources + "/InstallAgent.zip", {{"install", "exit 7\n"}});  // ignored
  const ProcessResult result = sandbox_.run(program, kUserArgs);
  expectSuccessfulHandOver(program, result);
}

TEST_P(MainFlowTest, ShippedArchiveIsUnpackedAndRun) {
  const InstalledProgram program = install();
  makeZip(program.resources + "/InstallAgent.zip", {{"install", recordingAgentScript()}});
  makeZip(program.resources + "/InstallAgent_9.zip", {{"install", "exit 7\n"}});  // ignored
  const ProcessResult result = sandbox_.run(program, kUserArgs);
  expectSuccessfulHandOver(program, result);
}

TEST_P(MainFlowTest, VersionedArchiveIsUnpackedAndRun) {
  const InstalledProgram program = install();
  makeZip(program.resources + "/InstallAgent_2.zip", {{"install", recordingAgentScript()}});
  writeFile(program.resources + "/installagent_3.zip", "not ours");
  writeFile(program.resources + "/InstallAgent_4.ZIP", "not ours");
  const ProcessResult result = sandbox_.run(program, kUserArgs);
  expectSuccessfulHandOver(program, result);
}

TEST_P(MainFlowTest, FailingInstallAgentFailsTheRun) {
  const InstalledProgram program = install();
  makeZip(program.resources + "/InstallAgent.zip", {{"install", recordingAgentScript()}});
  const ProcessResult result = sandbox_.run(program, {}, {{"BI_AGENT_STATUS", "3"}});
  EXPECT_EQ(255, result.exitStatus);
  EXPECT_EQ("Application install was not successful.\nInstallation failed.\n", result.err);
  EXPECT_EQ("", result.out);
  EXPECT_EQ((std::vector<std::string>{"-installbundle", program.resources + "/bundle.zip"}),
            sandbox_.recordedArgs());
  EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
}

TEST_P(MainFlowTest, CorruptArchiveFailsWithItsMessages) {
  const InstalledProgram program = install();
  writeFile(program.resources + "/InstallAgent.zip", "PK but not really");
  const ProcessResult result = sandbox_.run(program, {});
  EXPECT_EQ(255, result.exitStatus);
  EXPECT_NE(std::string::npos, result.err.find("Failed to unzip the install agent\n"
                                               "Failed to initialize the install agent.\n"
                                               "Installation failed.\n"));
  EXPECT_EQ(0, sandbox_.agentRuns());
  EXPECT_TRUE(listDir(sandbox_.tmpdir).empty());
}

// Tests that test mode unpacks into the executable's directory, which keeps the files.
TEST_P(MainFlowTest, TestModeWorksInTheExecutablesDirectory) {
  const InstalledProgram program = install();
  makeZip(program.resources + "/InstallAgent.zip", {{"install", recordingAgentScript()}});
  const ProcessResult result =
      sandbox_.run(program, kUserArgs, {{"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", ""}});
  expectSuccessfulHandOver(program, result);
  EXPECT_EQ(recordingAgentScript(), readFile(program.directoryOfExecutable + "/install"));
}

// Tests that without a usable temporary-files directory the run still works, from the
// executable's directory.
TEST_P(MainFlowTest, UnusableTmpdirFallsBackToTheExecutablesDirectory) {
  const InstalledProgram program = install();
  makeZip(program.resources + "/InstallAgent.zip", {{"install", recordingAgentScript()}});
  const ProcessResult result = sandbox_.run(program, kUserArgs, {{"TMPDIR", root_ / "missing"}});
  expectSuccessfulHandOver(program, result);
  EXPECT_TRUE(exists(program.directoryOfExecutable + "/install"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, MainFlowTest, testing::Values(Layout::kFlat, Layout::kApp),
                         [](const testing::TestParamInfo<Layout>& param) {
                           return param.param == Layout::kFlat ? "Flat" : "AppBundle";
                         });

TEST(MainFlowBundleTest, AppWithoutResourcesUsesTheBundleDirectory) {
  ScopedTempDir root;
  ProgramRun sandbox(root.path());
  InstalledProgram program = installApp(root.path(), "Bare.app");
  ::rmdir(program.resources.c_str());
  // The bundle location is then the bundle itself; nothing is shipped, so the run fails.
  const ProcessResult result = sandbox.run(program, {});
  EXPECT_EQ(255, result.exitStatus);
  EXPECT_EQ("Installation failed.\n", result.err.substr(result.err.size() - 21));
  EXPECT_TRUE(listDir(sandbox.tmpdir).empty());
}
