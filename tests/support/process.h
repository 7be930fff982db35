#ifndef TESTS_SUPPORT_PROCESS_H_
#define TESTS_SUPPORT_PROCESS_H_

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + signal number
  std::string out;
  std::string err;
};

struct ProcessOptions {
  /// Variables to set (a value) or remove (nullopt) on top of this process's environment.
  std::map<std::string, std::optional<std::string>> env;
  std::string cwd;  // empty: this process's
  std::string stdinPath = "/dev/null";
};

/// Runs the program with the arguments (argv[0] is the program path itself) and waits for it,
/// collecting its standard output and error.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

/// A wait status as an exit code: the code itself, or 128 + the signal that ended the process.
int decodeWaitStatus(int status);

/// Runs `body` in a forked child and returns its exit status (for limits and signal settings
/// that must not touch the test process).
int runInChild(const std::function<int()>& body);

/// Runs `body` in a forked child that has dropped root privileges (to "nobody") when it had
/// them, so that permission checks apply; returns the child's exit status.
int runUnprivileged(const std::function<int()>& body);

}  // namespace testing_support

#endif  // TESTS_SUPPORT_PROCESS_H_
