#ifndef SRC_FRAMEWORK_OS_SHELL_COMMAND_H_
#define SRC_FRAMEWORK_OS_SHELL_COMMAND_H_

#include <string>

namespace fw {

/// Runs the command line with "/bin/sh -c" and waits for the shell, as system() does: the
/// child starts with the caller's environment and default signal handling (SIGXFSZ included,
/// which this program ignores), and this process
/// ignores SIGQUIT while it runs. SIGTERM or SIGHUP (fw::termination) is passed on to the
/// child as SIGTERM; SIGINT is not, since a terminal sends it to the child itself and the child
/// decides what it means. Returns the shell's raw wait status, or -1 when no shell could start.
int runShellCommand(const std::string& commandLine);

}  // namespace fw

#endif  // SRC_FRAMEWORK_OS_SHELL_COMMAND_H_
