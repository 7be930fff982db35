#include "e2e/agent_fixture.h"

#include <algorithm>

#include "support/files.h"

namespace testing_support {

std::string recordingAgentScript() {
  return "printf '%s\\0' \"$@\" > \"$BI_RECORD\"\n"
         "echo run >> \"$BI_RECORD.runs\"\n"
         "exit \"${BI_AGENT_STATUS:-0}\"\n";
}

InstalledProgram installFlat(const std::string& dir) {
  makeDirs(dir);
  InstalledProgram program;
  program.executable = dir + "/setup";
  program.resources = dir;
  program.directoryOfExecutable = dir.substr(0, dir.rfind('/'));
  copyFile(BI_PROGRAM_PATH, program.executable, 0755);
  return program;
}

InstalledProgram installApp(const std::string& dir, const std::string& name) {
  const std::string bundle = dir + "/" + name;
  makeDirs(bundle + "/Contents/MacOS");
  makeDirs(bundle + "/Contents/Resources");
  InstalledProgram program;
  program.executable = bundle + "/Contents/MacOS/setup";
  program.resources = bundle + "/Contents/Resources";
  program.directoryOfExecutable = dir;
  copyFile(BI_PROGRAM_PATH, program.executable, 0755);
  return program;
}

ProgramRun::ProgramRun(const std::string& rootDir)
    : root(rootDir),
      home(rootDir + "/home"),
      tmpdir(rootDir + "/tmp"),
      record(rootDir + "/record") {
  makeDirs(home);
  makeDirs(tmpdir);
}

std::map<std::string, std::optional<std::string>> ProgramRun::environment(
    const std::map<std::string, std::optional<std::string>>& extraEnv) const {
  std::map<std::string, std::optional<std::string>> env = {
      {"HOME", home},
      {"TMPDIR", tmpdir},
      {"BI_RECORD", record},
      {"ZR_INTERNAL_INSTALL_AGENT_URL", std::nullopt},
      {"__ZR_BOOTSTRAP_INSTALLER_UNITTEST__", std::nullopt},
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
  };
  for (const auto& [name, value] : extraEnv) {
    env[name] = value;
  }
  return env;
}

ProcessResult ProgramRun::run(const InstalledProgram& program, const std::vector<std::string>& args,
                              const std::map<std::string, std::optional<std::string>>& env) const {
  return runWrapped({}, program, args, env);
}

ProcessResult ProgramRun::runWrapped(
    const std::vector<std::string>& wrapper, const InstalledProgram& program,
    const std::vector<std::string>& args,
    const std::map<std::string, std::optional<std::string>>& extraEnv) const {
  ProcessOptions options;
  options.cwd = root;
  options.env = environment(extraEnv);
  std::vector<std::string> argv = wrapper;
  argv.push_back(program.executable);
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv.front(), argv, options);
}

std::unique_ptr<BackgroundProcess> ProgramRun::start(
    const InstalledProgram& program, const std::vector<std::string>& args,
    const std::string& outPath, const std::string& errPath, bool ownGroup,
    const std::map<std::string, std::optional<std::string>>& env) const {
  const std::map<std::string, std::optional<std::string>> all = environment(env);
  // env(1) sets the environment; setsid(1) gives the program a process group of its own.
  std::vector<std::string> argv = {"env"};
  for (const auto& [name, value] : all) {
    if (!value) {
      argv.insert(argv.begin() + 1, {"-u", name});
    }
  }
  for (const auto& [name, value] : all) {
    if (value) {
      argv.push_back(name + "=" + *value);
    }
  }
  if (ownGroup) {
    argv.push_back("/usr/bin/setsid");
  }
  argv.push_back(program.executable);
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<BackgroundProcess>("/usr/bin/env", argv, outPath, errPath);
}

std::vector<std::string> ProgramRun::recordedArgs() const {
  return splitNul(readFile(record));
}

int ProgramRun::agentRuns() const {
  const std::string runs = readFile(record + ".runs");
  return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
}

}  // namespace testing_support
