#ifndef TESTS_SUPPORT_PROCESS_H_
#define TESTS_SUPPORT_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

/// Changes to a child's environment: a value sets the variable, nullopt removes it.
using Env = std::map<std::string, std::optional<std::string>>;

/// A program started in the background, standard input from /dev/null, standard output and error
/// appended to files. Ended with SIGKILL, if still running, with the object; in a session of its
/// own, with whatever of its process group still runs (an install agent it started).
class Child {
 public:
  /// Starts argv[0] (a path) with `env` applied to this process's environment, from `cwd`
  /// (empty: this process's), in a session of its own when `ownSession`, so that a signal to its
  /// process group reaches its children as a terminal's would.
  Child(const std::vector<std::string>& argv, const Env& env, const std::string& outPath,
        const std::string& errPath, bool ownSession = false, const std::string& cwd = "");
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool exited();
  /// Waits up to `timeout` for the end: the exit code, or 128 + the signal that ended it; -1
  /// while it still runs.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  pid_t pid_ = -1;
  bool ownSession_ = false;
  std::optional<int> status_;
};

struct ProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + signal number
  std::string out;
  std::string err;
};

/// Runs the program and waits for it, collecting its standard output and error.
ProcessResult runProcess(const std::vector<std::string>& argv, const Env& env = {},
                         const std::string& cwd = "");

/// `sh -c script`; its exit status.
int runShell(const std::string& script);

/// Checks `condition` every few milliseconds until it holds (true) or `timeout` passed (false).
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// Runs `body` in a forked child, as "nobody" when this process is root (so that permissions
/// apply); the child's exit status.
int runUnprivileged(const std::function<int()>& body);

/// Sets (a value) or removes (nullopt) an environment variable of this process for one scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_PROCESS_H_
