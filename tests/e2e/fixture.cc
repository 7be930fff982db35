#include "e2e/fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace testing_support {

const char* const kRecordingAgent =
    "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\n"
    "echo run >> \"$BI_RECORD.runs\"\n"
    "exit \"${BI_AGENT_STATUS:-0}\"\n";

ProgramTest::ProgramTest(Layout layout)
    : home_(root_ / "home"),
      tmpdir_(root_ / "tmp"),
      record_(root_ / "record"),
      archive_(root_ / "agent.zip") {
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(tmpdir_);
  install(layout, root_ / "Apps \"q\" dir");
  makeZip(archive_, {{"install", kRecordingAgent}});
}

void ProgramTest::install(Layout layout, const std::string& dir) {
  const std::string bundle = dir + "/My \"Setup\".app";
  const std::string executableDir = layout == Layout::kApp ? bundle + "/Contents/MacOS" : dir;
  resources_ = layout == Layout::kApp ? bundle + "/Contents/Resources" : dir;
  directoryOfExecutable_ = layout == Layout::kApp ? dir : dir.substr(0, dir.rfind('/'));
  executable_ = executableDir + "/setup";
  std::filesystem::create_directories(executableDir);
  std::filesystem::create_directories(resources_);
  std::filesystem::copy_file(BI_PROGRAM_PATH, executable_,
                             std::filesystem::copy_options::overwrite_existing);
}

std::string ProgramTest::cacheDir() const {
  return home_ + "/.velmora/app_installer_cache/V3107c/korvex/";
}

void ProgramTest::setEndpointUrl(const std::string& url) const {
  writeFile(resources_ + "/installAgentURL.txt", url + "\n");
}

Env ProgramTest::environment(const Env& extra) const {
  Env env = {{"HOME", home_},
             {"TMPDIR", tmpdir_},
             {"BI_RECORD", record_},
             {"ZR_INTERNAL_INSTALL_AGENT_URL", std::nullopt},
             {"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", std::nullopt},
             {"DISPLAY", std::nullopt},
             {"WAYLAND_DISPLAY", std::nullopt}};
  for (const auto& [name, value] : extra) {
    env[name] = value;
  }
  return env;
}

ProcessResult ProgramTest::run(const std::vector<std::string>& args, const Env& extra,
                               const std::vector<std::string>& wrapper) const {
  std::vector<std::string> argv = wrapper;
  argv.push_back(executable_);
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, environment(extra), root_.path());
}

std::unique_ptr<Child> ProgramTest::start(const std::vector<std::string>& args, const Env& extra,
                                          bool ownSession) const {
  ::unlink((root_ / "started.err").c_str());
  std::vector<std::string> argv = {executable_};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Child>(argv, environment(extra), root_ / "started.out",
                                 root_ / "started.err", ownSession, root_.path());
}

std::vector<std::string> ProgramTest::recordedArgs() const {
  return splitNul(readFile(record_));
}

int ProgramTest::agentRuns() const {
  const std::string runs = readFile(record_ + ".runs");
  return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
}

std::vector<std::string> ProgramTest::expectedArgs(const std::vector<std::string>& userArgs) const {
  std::vector<std::string> expected = {"-installbundle", resources_ + "/bundle.zip"};
  expected.insert(expected.end(), userArgs.begin(), userArgs.end());
  return expected;
}

void ProgramTest::expectFailedRun(int exitStatus, const std::string& err) const {
  EXPECT_EQ(255, exitStatus) << err;
  EXPECT_TRUE(err.ends_with("Installation failed.\n")) << err;
  EXPECT_EQ(0, agentRuns());
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_)) << "temporary files left behind";
}

void ProgramTest::expectNoInstallAgent() const {
  EXPECT_FALSE(exists(agentDir() + "/install"));
  for (const std::string& entry : listDir(cacheDir())) {
    EXPECT_TRUE(entry == "installagent" || entry == ".lock") << entry;
  }
}

}  // namespace testing_support
