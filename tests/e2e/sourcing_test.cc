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

// What the bundle's resources hold: "@agent" stands for the recording install agent's archive,
// "@failing" for one whose install agent exits 7 (it must not run); other text is the file.
using Files = std::map<std::string, std::string>;

struct Source {
  const char* name;
  Files shipped = {};
  std::string err;  // fnmatch pattern for the whole standard error
  int exitStatus = 0;
  Env env = {};
  std::string url = {};  // the endpoint file; in it and in `env`, "{URL}" is the local endpoint's
};

const char* const kDownloaded = "Downloading\nInitializing the installer\n";
const Files kArchive = {{"InstallAgent.zip", "@agent"}, {"InstallAgent_9.zip", "@failing"}};
const Files kNoResources = {{"", ""}};  // an application bundle without Contents/Resources

// clang-format off
const Source kSources[] = {
    {.name = "EntryPointRunsInPlace", .shipped = {{"InstallerForMac", kRecordingAgent}, {"InstallAgent.zip", "@failing"}}, .err = ""},
    {.name = "ArchiveIsUnpacked", .shipped = kArchive, .err = ""},
    {.name = "VersionedArchiveIsUnpacked", .shipped = {{"InstallAgent_2.zip", "@agent"}, {"installagent_3.zip", "@failing"}, {"InstallAgent_4.ZIP", "@failing"}, {"InstallAgent5.zip", "@failing"}}, .err = ""},
    {.name = "DecoysAreNoArchives", .shipped = {{"Other.zip", "@failing"}, {"InstallAgent_2.tar", "@failing"}, {"InstallAgent_.zip.old", "@failing"}}, .err = kDownloaded, .url = "{URL}\n"},
    {.name = "BundleWithoutResources", .shipped = kNoResources, .err = kDownloaded, .url = "{URL}\n"},
    {.name = "FailingAgentFailsTheRun", .shipped = kArchive, .err = "Application install was not successful.\nInstallation failed.\n", .exitStatus = 255, .env = {{"BI_AGENT_STATUS", "3"}}},
    {.name = "OverrideVariableWins", .err = kDownloaded, .env = {{"ZR_INTERNAL_INSTALL_AGENT_URL", "{URL}"}}, .url = "http://127.0.0.1:9/not-this\n"},
    {.name = "OverrideVariableEmptyIsNoUrl", .err = "*Error during the download process.\n*", .exitStatus = 255, .env = {{"ZR_INTERNAL_INSTALL_AGENT_URL", ""}}, .url = "{URL}\n"},
    {.name = "UrlWithANulIsNoUrl", .err = "*\nInstallation failed.\n", .exitStatus = 255, .url = std::string("{URL}\0x\n", 9)},  // cut at the NUL, it would work
    {.name = "EntryPointThatIsADirectoryRunsNothing", .shipped = {{"InstallerForMac/install", kRecordingAgent}}, .err = "Application install was not successful.\nInstallation failed.\n", .exitStatus = 255},
    {.name = "CorruptArchive", .shipped = {{"InstallAgent.zip", "PK but not really"}}, .err = "*Failed to unzip the install agent\nFailed to initialize the install agent.\nInstallation failed.\n", .exitStatus = 255},
    {.name = "TestModeWorksBesideTheProgram", .shipped = kArchive, .err = "", .env = {{"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", ""}}},
    {.name = "MissingTmpdirWorksBesideTheProgram", .shipped = kArchive, .err = "", .env = {{"TMPDIR", "/nonexistent/tmp"}}},
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
  const std::string failing = root_ / "failing.zip";
  makeZip(failing, {{"install", "exit 7\n"}});
  if (source.shipped == kNoResources) {
    std::filesystem::remove(resources_);
    resources_ = resources_.substr(0, resources_.rfind("/Contents/"));  // the bundle itself
    std::filesystem::copy_file(failing, root_ / "InstallAgent.zip");    // in the run's directory
  } else {
    for (const auto& [name, content] : source.shipped) {
      writeFile(resources_ + "/" + name, content == "@agent"     ? readFile(archive_)
                                         : content == "@failing" ? readFile(failing)
                                                                 : content);
    }
  }
  std::unique_ptr<Endpoint> server;
  Env env = source.env;
  if (!source.url.empty()) {
    server = std::make_unique<Endpoint>(archive_);
    const auto withUrl = [&](std::string text) {
      return text.starts_with("{URL}") ? server->url() + text.substr(5) : text;
    };
    writeFile(resources_ + "/installAgentURL.txt", withUrl(source.url));
    for (auto& [name, value] : env) {
      value = withUrl(*value);
    }
  }

  const ProcessResult result = run(kUserArgs, env);
  EXPECT_EQ(0, ::fnmatch(source.err.c_str(), result.err.c_str(), 0)) << result.err;
  EXPECT_EQ(source.exitStatus, result.exitStatus) << result.err;
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_)) << "temporary files left behind";
  const bool ran = source.exitStatus == 0 || source.env.contains("BI_AGENT_STATUS");
  EXPECT_EQ(ran ? 1 : 0, agentRuns());
  if (ran) {
    EXPECT_EQ(expectedArgs(kUserArgs), recordedArgs());
  }
  if (source.shipped == kArchive && source.exitStatus == 0 && !env.empty()) {  // beside the program
    EXPECT_EQ(kRecordingAgent, readFile(directoryOfExecutable_ + "/install"));
  }
  if (server) {
    EXPECT_EQ(ran ? 1u : 0u, server->requests(ran ? 1 : 0).size());
  }
}

std::string rowName(const testing::TestParamInfo<std::tuple<Layout, Source>>& row) {
  return (std::get<0>(row.param) == Layout::kApp ? "App" : "Flat") +
         std::string(std::get<1>(row.param).name);
}

// Every source in both layouts, but a bundle without resources in an application bundle only:
// a bare tool's resources are its own directory.
std::vector<std::tuple<Layout, Source>> rows() {
  std::vector<std::tuple<Layout, Source>> rows;
  for (const Layout layout : {Layout::kFlat, Layout::kApp}) {
    for (const Source& source : kSources) {
      if (layout == Layout::kApp || source.shipped != kNoResources) {
        rows.emplace_back(layout, source);
      }
    }
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Bundles, SourcingTest, testing::ValuesIn(rows()), rowName);
