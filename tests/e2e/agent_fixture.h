#ifndef TESTS_E2E_AGENT_FIXTURE_H_
#define TESTS_E2E_AGENT_FIXTURE_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/background_process.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

namespace testing_support {

/// An install agent entry point that records what it received: its arguments, NUL-separated,
/// into $BI_RECORD, one line per run into $BI_RECORD.runs, and exits with $BI_AGENT_STATUS.
std::string recordingAgentScript();

/// Where a copy of the program under test was put, and where its resources go.
struct InstalledProgram {
  std::string executable;
  std::string resources;
  /// The directory that getDirectoryOfExecutable() gives for this layout.
  std::string directoryOfExecutable;
};

/// A copy of the program as a bare tool: <dir>/setup, resources beside it.
InstalledProgram installFlat(const std::string& dir);

/// A copy of the program in an application bundle: <dir>/<name>/Contents/MacOS/setup, resources
/// in Contents/Resources.
InstalledProgram installApp(const std::string& dir, const std::string& name);

/// One run of the program in a test sandbox: HOME, TMPDIR and the record file live in `root`;
/// the override and test-mode variables are unset unless `extraEnv` sets them.
class ProgramRun {
 public:
  explicit ProgramRun(const std::string& root);

  /// Runs the program from `root` with the arguments, `env` on top of the sandbox's variables.
  ProcessResult run(const InstalledProgram& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::optional<std::string>>& env = {}) const;

  /// run(), through a wrapper command that then runs the program (prlimit, setpriv, ...).
  ProcessResult runWrapped(const std::vector<std::string>& wrapper, const InstalledProgram& program,
                           const std::vector<std::string>& args,
                           const std::map<std::string, std::optional<std::string>>& env = {}) const;

  /// Starts the program in the background, as run() would run it, with its standard output and
  /// error going to `outPath` and `errPath`; in a process group of its own when `ownGroup`
  /// (so that a signal to the group reaches it and its children, as a terminal's would).
  std::unique_ptr<BackgroundProcess> start(
      const InstalledProgram& program, const std::vector<std::string>& args,
      const std::string& outPath, const std::string& errPath, bool ownGroup = false,
      const std::map<std::string, std::optional<std::string>>& env = {}) const;

  /// The sandbox's environment changes (HOME, TMPDIR, the record file; the override, test-mode
  /// and display variables removed), with `extraEnv` on top.
  std::map<std::string, std::optional<std::string>> environment(
      const std::map<std::string, std::optional<std::string>>& extraEnv) const;

  /// The arguments that the install agent recorded in its last run.
  std::vector<std::string> recordedArgs() const;
  /// How many times the install agent ran.
  int agentRuns() const;

  std::string root;
  std::string home;
  std::string tmpdir;
  std::string record;
};

}  // namespace testing_support

#endif  // TESTS_E2E_AGENT_FIXTURE_H_
