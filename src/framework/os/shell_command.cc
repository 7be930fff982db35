#include "framework/os/shell_command.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>  // environ

#include <cerrno>
#include <csignal>

#include "framework/base/unique_fd.h"
#include "framework/os/termination.h"

namespace fw {

namespace {

// Ignores SIGQUIT for one scope, as system() does while its child runs: the terminal's quit key
// is meant for the child. (SIGINT is caught by fw::termination, so it ends nothing here.)
class IgnoreQuit {
 public:
  IgnoreQuit() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGQUIT, &ignore, &old_);
  }
  ~IgnoreQuit() { ::sigaction(SIGQUIT, &old_, nullptr); }
  IgnoreQuit(const IgnoreQuit&) = delete;
  IgnoreQuit& operator=(const IgnoreQuit&) = delete;

 private:
  struct sigaction old_ {};
};

bool shouldPassOn() {
  return termination::received(SIGTERM) || termination::received(SIGHUP);
}

pid_t spawnShell(const std::string& commandLine) {
  posix_spawnattr_t attributes;
  if (::posix_spawnattr_init(&attributes) != 0) {
    return -1;
  }
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  sigaddset(&defaults, SIGXFSZ);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setsigmask(&attributes, &noneBlocked);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const char* argv[] = {"sh", "-c", commandLine.c_str(), nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ) !=
      0) {
    pid = -1;
  }
  ::posix_spawnattr_destroy(&attributes);
  return pid;
}

// Waits for the child, passing SIGTERM on to it once when the run is asked to end.
int waitForChild(pid_t pid) {
  const UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  bool passedOn = false;
  while (pidFd) {
    if (!passedOn && shouldPassOn()) {
      ::kill(pid, SIGTERM);
      passedOn = true;
    }
    // The termination descriptor wakes this wait until anything arrives; it stays readable
    // after that, so then a short timeout looks again (for a SIGTERM after a SIGINT).
    const bool nothingYet = termination::requested() == 0 && termination::fd() >= 0;
    pollfd fds[2] = {{pidFd.get(), POLLIN, 0}, {termination::fd(), POLLIN, 0}};
    const int timeoutMs = (nothingYet || passedOn || termination::fd() < 0) ? -1 : 100;
    if (::poll(fds, nothingYet ? 2 : 1, timeoutMs) < 0 && errno != EINTR) {
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      break;
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return status;
}

}  // namespace

int runShellCommand(const std::string& commandLine) {
  const IgnoreQuit ignoring;
  const pid_t pid = spawnShell(commandLine);
  if (pid < 0) {
    return -1;
  }
  return waitForChild(pid);
}

}  // namespace fw
