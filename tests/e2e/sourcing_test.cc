// Where the install agent comes from, as a user meets it: the built program in an application
// bundle or as a bare tool, its bundle holding a ready entry point, an archive, a versioned
// archive or nothing, run with real sh and unzip. Whatever it runs gets the user's arguments
// byte for byte, after "-installbundle" and the bundle's "bundle.zip".

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// Arguments that a careless command line would change or act on.
const std::vector<std::string> kUserArgs = {"-v",        "my file", "a\"b",       "$(touch pwned)",
                                            "`id`",      "x;y",     "",           "tab\there",
                                            "new\nline", "\\",      "caf\xc3\xa9"};

enum class Shipped {
  kEntryPoint,   // InstallerForMac, beside an InstallAgent.zip that must be ignored
  kArchive,      // InstallAgent.zip, beside an InstallAgent_9.zip that must be ignored
  kVersioned,    // InstallAgent_2.zip among names that are no versioned archives
  kDecoys,       // only names that are no versioned archives: the download follows
  kCorrupt,      // an InstallAgent.zip that is no zip
  kNoResources,  // an application bundle without Contents/Resources: the download follows
};

struct Source {
  const char* name;
  Shipped shipped;
  std::string err;  // fnmatch pattern for the whole standard error
  int exitStatus = 0;
  Env env = {};
};

const char* const kDownloaded = "Downloading\nInitializing the installer\n";

// clang-format off
const Source kSources[] = {
    {.name = "EntryPointRunsInPlace", .shipped = Shipped::kEntryPoint, .err = ""},
    {.name = "ArchiveIsUnpacked", .shipped = Shipped::kArchive, .err = ""},
    {.name = "VersionedArchiveIsUnpacked", .shipped = Shipped::kVersioned, .err = ""},
    {.name = "DecoysAreNoArchives", .shipped = Shipped::kDecoys, .err = kDownloaded},
    {.name = "BundleWithoutResources", .shipped = Shipped::kNoResources, .err = kDownloaded},
    {.name = "FailingAgentFailsTheRun", .shipped = Shipped::kArchive, .err = "Application install was not successful.\nInstallation failed.\n", .exitStatus = 255, .env = {{"BI_AGENT_STATUS", "3"}}},
    {.name = "CorruptArchive", .shipped = Shipped::kCorrupt, .err = "*Failed to unzip the install agent\nFailed to initialize the install agent.\nInstallation failed.\n", .exitStatus = 255},
    {.name = "TestModeWorksBesideTheProgram", .shipped = Shipped::kArchive, .err = "", .env = {{"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", ""}}},
    {.name = "MissingTmpdirWorksBesideTheProgram", .shipped = Shipped::kArchive, .err = "", .env = {{"TMPDIR", "/nonexistent/tmp"}}},
};
// clang-format on

void PrintTo(const Source& source, std::ostream* out) {
  *out << source.name;
}

class SourcingTest : public ProgramTest,
                     public testing::WithParamInterface<std::tuple<Layout, Source>> {
 protected:
  SourcingTest() : ProgramTest(std::get<0>(GetParam())) {}
};

}  // namespace

TEST_P(SourcingTest, Row) {
  const Source& source = std::get<1>(GetParam());
  const std::string failing = root_ / "failing.zip";  // an install agent that must not run
  makeZip(failing, {{"install", "exit 7\n"}});
  std::unique_ptr<Endpoint> server;
  switch (source.shipped) {
    case Shipped::kEntryPoint:
      writeFile(resources_ + "/InstallerForMac", kRecordingAgent);
      std::filesystem::copy_file(failing, resources_ + "/InstallAgent.zip");
      break;
    case Shipped::kArchive:
      std::filesystem::copy_file(archive_, resources_ + "/InstallAgent.zip");
      std::filesystem::copy_file(failing, resources_ + "/InstallAgent_9.zip");
      break;
    case Shipped::kVersioned:
      std::filesystem::copy_file(archive_, resources_ + "/InstallAgent_2.zip");
      for (const char* decoy : {"installagent_3.zip", "InstallAgent_4.ZIP", "InstallAgent5.zip"}) {
        std::filesystem::copy_file(failing, resources_ + "/" + decoy);
      }
      break;
    case Shipped::kDecoys:
      for (const char* decoy : {"Other.zip", "InstallAgent_2.tar", "InstallAgent_.zip.old"}) {
        std::filesystem::copy_file(failing, resources_ + "/" + decoy);
      }
      break;
    case Shipped::kCorrupt:
      writeFile(resources_ + "/InstallAgent.zip", "PK but not really");
      break;
    case Shipped::kNoResources:
      if (std::get<0>(GetParam()) == Layout::kFlat) {
        GTEST_SKIP() << "a bare tool's resources are its own directory";
      }
      std::filesystem::remove(resources_);
      resources_ = resources_.substr(0, resources_.rfind("/Contents/"));  // the bundle itself
      break;
  }
  if (source.shipped == Shipped::kDecoys || source.shipped == Shipped::kNoResources) {
    server = std::make_unique<Endpoint>(archive_);
    setEndpointUrl(server->url());
  }

  const ProcessResult result = run(kUserArgs, source.env);
  EXPECT_EQ(0, ::fnmatch(source.err.c_str(), result.err.c_str(), 0)) << result.err;
  EXPECT_EQ(source.exitStatus, result.exitStatus) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_)) << "temporary files left behind";
  EXPECT_FALSE(exists(root_ / "pwned"));
  if (source.shipped != Shipped::kCorrupt) {
    EXPECT_EQ(expectedArgs(kUserArgs), recordedArgs());
    EXPECT_EQ(1, agentRuns());
  }
  if (!source.env.empty() && source.exitStatus == 0) {  // unpacked beside the program
    EXPECT_EQ(kRecordingAgent, readFile(directoryOfExecutable_ + "/install"));
  }
  if (server) {
    EXPECT_EQ(1u, server->requests(1).size());
  }
}

INSTANTIATE_TEST_SUITE_P(Bundles, SourcingTest,
                         testing::Combine(testing::Values(Layout::kFlat, Layout::kApp),
                                          testing::ValuesIn(kSources)),
                         [](const testing::TestParamInfo<std::tuple<Layout, Source>>& row) {
                           return std::string(std::get<0>(row.param) == Layout::kApp ? "App"
                                                                                     : "Flat") +
                                  std::get<1>(row.param).name;
                         });
