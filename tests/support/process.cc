#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/files.h"

extern char** environ;

namespace testing_support {

namespace {

std::vector<std::string> buildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) {
      env[text.substr(0, equals)] = text.substr(equals + 1);
    }
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : env) {
    result.push_back(name + "=" + value);
  }
  return result;
}

}  // namespace

int decodeWaitStatus(int status) {
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return -1;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  char outPattern[] = "/tmp/bi_out_XXXXXX";
  char errPattern[] = "/tmp/bi_err_XXXXXX";
  const int outFd = ::mkstemp(outPattern);
  const int errFd = ::mkstemp(errPattern);
  if (outFd < 0 || errFd < 0) {
    throw std::runtime_error("mkstemp failed");
  }
  std::vector<std::string> env = buildEnvironment(options.env);
  std::vector<char*> envp;
  for (std::string& entry : env) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::vector<std::string> argStorage = args;
  std::vector<char*> argv;
  for (std::string& arg : argStorage) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int inFd = ::open(options.stdinPath.c_str(), O_RDONLY);
    ::dup2(inFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) {
      ::_exit(126);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(outFd);
  ::close(errFd);
  ProcessResult result;
  result.exitStatus = decodeWaitStatus(status);
  result.out = readFile(outPattern);
  result.err = readFile(errPattern);
  ::unlink(outPattern);
  ::unlink(errPattern);
  return result;
}

int runInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return decodeWaitStatus(status);
}

int runUnprivileged(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0) {
      const gid_t nobodyGroup = 65534;
      const uid_t nobodyUser = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobodyUser) != 0) {
        ::_exit(99);
      }
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return decodeWaitStatus(status);
}

}  // namespace testing_support
