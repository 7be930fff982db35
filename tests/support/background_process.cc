#include "support/background_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "support/process.h"

namespace testing_support {

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(5);

}  // namespace

BackgroundProcess::BackgroundProcess(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& stdoutPath, const std::string& stderrPath) {
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  std::vector<std::string> argStorage = args;
  std::vector<char*> argv;
  argv.reserve(argStorage.size() + 1);
  for (std::string& arg : argStorage) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) {
    throw std::runtime_error("fork failed for " + program);
  }
  if (pid_ == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
      ::_exit(126);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
}

BackgroundProcess::~BackgroundProcess() {
  stop();
}

bool BackgroundProcess::hasExited() {
  if (!status_) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = decodeWaitStatus(status);
    }
  }
  return status_.has_value();
}

int BackgroundProcess::stop(int signal, std::chrono::milliseconds grace) {
  if (hasExited()) {
    return *status_;
  }
  ::kill(pid_, signal);
  if (!waitUntil([this] { return hasExited(); }, grace)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = decodeWaitStatus(status);
  }
  return *status_;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  return true;
}

}  // namespace testing_support
