#ifndef TESTS_SUPPORT_BACKGROUND_PROCESS_H_
#define TESTS_SUPPORT_BACKGROUND_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

/// A child process left running while the test goes on; stopped with the object.
class BackgroundProcess {
 public:
  /// Starts `program` with `args` (argv[0] included), standard input from /dev/null, standard
  /// output and error appended to the given files. Throws std::runtime_error when fork fails; a
  /// program that cannot be run exits with status 127.
  BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                    const std::string& stdoutPath, const std::string& stderrPath);
  /// stop() with SIGTERM.
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }
  /// True once the child has ended (it is reaped then).
  bool hasExited();
  /// Sends `signal` unless the child has ended, waits up to `grace` for it, then kills it with
  /// SIGKILL. Returns its exit status: the exit code, or 128 + the signal that ended it. Later
  /// calls return the same status.
  int stop(int signal = SIGTERM, std::chrono::milliseconds grace = std::chrono::seconds(5));

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

/// Checks `condition` every few milliseconds until it holds (true) or `timeout` passed (false).
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testing_support

#endif  // TESTS_SUPPORT_BACKGROUND_PROCESS_H_
