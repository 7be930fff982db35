#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "support/files.h"

extern char** environ;

namespace testing_support {

namespace {

int decodeWaitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const Env& env, const std::string& outPath,
             const std::string& errPath, bool ownSession, const std::string& cwd)
    : ownSession_(ownSession) {
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  std::vector<std::string> args = argv;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!env.contains(std::string(*entry).substr(0, std::string(*entry).find('=')))) {
      environment.emplace_back(*entry);
    }
  }
  for (const auto& [name, value] : env) {
    if (value) {
      environment.push_back(name + "=" + *value);
    }
  }
  std::vector<char*> argp;
  std::vector<char*> envp;
  for (auto [strings, pointers] : {std::pair{&args, &argp}, std::pair{&environment, &envp}}) {
    for (std::string& text : *strings) {
      pointers->push_back(text.data());
    }
    pointers->push_back(nullptr);
  }
  pid_ = ::fork();
  if (pid_ < 0) {
    throw std::runtime_error("fork failed for " + argv[0]);
  }
  if (pid_ == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || (ownSession && ::setsid() < 0) ||
        (!cwd.empty() && ::chdir(cwd.c_str()) != 0)) {
      ::_exit(126);
    }
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
}

Child::~Child() {
  if (ownSession_) {
    ::kill(-pid_, SIGKILL);  // a test that failed half-way must leave nothing running
  }
  if (!exited()) {
    ::kill(pid_, SIGKILL);
    wait();
  }
}

bool Child::exited() {
  int status = 0;
  if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = decodeWaitStatus(status);
  }
  return status_.has_value();
}

int Child::wait(std::chrono::milliseconds timeout) {
  return waitUntil([this] { return exited(); }, timeout) ? *status_ : -1;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const Env& env,
                         const std::string& cwd) {
  const ScopedTempDir dir;
  ProcessResult result;
  {
    Child child(argv, env, dir / "out", dir / "err", false, cwd);
    result.exitStatus = child.wait(std::chrono::minutes(3));
  }
  result.out = readFile(dir / "out");
  result.err = readFile(dir / "err");
  return result;
}

int runShell(const std::string& script) {
  return runProcess({"/bin/sh", "-c", script}).exitStatus;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int runUnprivileged(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const uid_t nobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
      ::_exit(99);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return decodeWaitStatus(status);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) {
    old_ = old;
  }
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace testing_support
