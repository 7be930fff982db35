#ifndef SRC_FRAMEWORK_OS_SHELL_COMMAND_H_
#define SRC_FRAMEWORK_OS_SHELL_COMMAND_H_

#include <functional>
#include <string>
#include <string_view>

namespace fw {

struct ShellCommandOptions {
  /// Standard input from /dev/null instead of this process's: the program never waits for the
  /// user at the terminal.
  bool inputFromNull = false;
  /// The program is killed when the thread that started it ends, with its process above all: it
  /// never outlives the run.
  bool endsWithCaller = false;
  /// When set, receives the program's standard output and error, a line at a time without the
  /// line end, in place of this process's standard streams.
  std::function<void(std::string_view line)> onOutputLine;
};

/// Runs the command line with "/bin/sh -c" and waits for the shell, as system() does: the
/// child starts with the caller's environment and default signal handling (SIGXFSZ included,
/// which this program ignores), and this process ignores SIGQUIT while it runs. SIGTERM or
/// SIGHUP (fw::termination) is passed on to the child as SIGTERM; SIGINT is not, since a
/// terminal sends it to the child itself and the child decides what it means. Returns the
/// shell's raw wait status, or -1 when no shell could start.
int runShellCommand(const std::string& commandLine, const ShellCommandOptions& options = {});

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_SHELL_COMMAND_H_
