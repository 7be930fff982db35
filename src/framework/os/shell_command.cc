#include "framework/os/shell_command.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
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

// The signals that this process catches or ignores while a child runs and that the child must
// find at their default handling.
constexpr int kIgnoredHere[] = {SIGINT, SIGQUIT, SIGXFSZ};

bool shouldPassOn() {
  return termination::received(SIGTERM) || termination::received(SIGHUP);
}

// Starts "/bin/sh -c commandLine" with fork, for a child that must end with the calling thread.
// Between fork and exec the child calls only what is safe in a copy of a process that has other
// threads.
pid_t forkShell(const char* const argv[], const ShellCommandOptions& options, int outputFd) {
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) {
    return pid;
  }
  // What this process ignores, the child must not: the default handling, nothing blocked.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  for (const int signal : kIgnoredHere) {
    ::sigaction(signal, &defaults, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Killed with the thread that waits for it; a parent that went before this line is seen too.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
    ::_exit(127);
  }
  const int input = options.inputFromNull ? ::open("/dev/null", O_RDONLY) : 0;
  if (input < 0 || (input > 0 && ::dup2(input, 0) < 0) ||
      (outputFd >= 0 && (::dup2(outputFd, 1) < 0 || ::dup2(outputFd, 2) < 0))) {
    ::_exit(127);
  }
  ::execve("/bin/sh", const_cast<char**>(argv), environ);
  ::_exit(127);
}

// The settings of one posix_spawn call, destroyed with the object.
class SpawnSettings {
 public:
  SpawnSettings() {
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
};

// Starts "/bin/sh -c commandLine" with posix_spawn, which shares this process's memory until
// the exec instead of copying its map: after a download that map holds libcurl and the dozens
// of libraries under it, and copying it would delay the hand-over.
pid_t spawnShellProcess(const char* const argv[], const ShellCommandOptions& options,
                        int outputFd) {
  SpawnSettings settings;
  // The signals that this process ignores get the default handling (those that it catches get
  // it anyway); nothing is blocked.
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : kIgnoredHere) {
    sigaddset(&defaults, signal);
  }
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigdefault(&settings.attributes, &defaults);
  ::posix_spawnattr_setsigmask(&settings.attributes, &none);
  ::posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  if (options.inputFromNull) {
    ::posix_spawn_file_actions_addopen(&settings.actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (outputFd >= 0) {
    ::posix_spawn_file_actions_adddup2(&settings.actions, outputFd, 1);
    ::posix_spawn_file_actions_adddup2(&settings.actions, outputFd, 2);
  }
  pid_t pid = -1;
  if (::posix_spawn(&pid, "/bin/sh", &settings.actions, &settings.attributes,
                    const_cast<char* const*>(argv), environ) != 0) {
    return -1;
  }
  return pid;
}

pid_t spawnShell(const std::string& commandLine, const ShellCommandOptions& options, int outputFd) {
  const char* argv[] = {"sh", "-c", commandLine.c_str(), nullptr};
  return options.endsWithCaller ? forkShell(argv, options, outputFd)
                                : spawnShellProcess(argv, options, outputFd);
}

// Hands complete lines of the child's output to the sink as they come, the rest at the end.
class LineSplitter {
 public:
  explicit LineSplitter(const std::function<void(std::string_view)>& sink) : sink_(sink) {}
  ~LineSplitter() {
    if (!pending_.empty()) {
      sink_(pending_);
    }
  }
  LineSplitter(const LineSplitter&) = delete;
  LineSplitter& operator=(const LineSplitter&) = delete;

  // Reads what is there: the bytes read, 0 at the end of the output, -1 (errno set) for none.
  ssize_t readFrom(int fd) {
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      return got;
    }
    pending_.append(buffer, static_cast<size_t>(got));
    for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
      sink_(std::string_view(pending_).substr(0, end));
      pending_.erase(0, end + 1);
    }
    return got;
  }

 private:
  const std::function<void(std::string_view)>& sink_;
  std::string pending_;
};

// Waits for the child, passing SIGTERM on to it once when the run is asked to end, and reading
// its output when it goes through `outputFd`.
int waitForChild(pid_t pid, int outputFd, const ShellCommandOptions& options) {
  const UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  LineSplitter lines(options.onOutputLine);
  bool reading = outputFd >= 0;
  bool passedOn = false;
  while (pidFd) {
    if (!passedOn && shouldPassOn()) {
      ::kill(pid, SIGTERM);
      passedOn = true;
    }
    // The termination descriptor wakes this wait until anything arrives; it stays readable
    // after that, so then a short timeout looks again (for a SIGTERM after a SIGINT).
    const bool nothingYet = termination::requested() == 0 && termination::fd() >= 0;
    pollfd fds[3] = {{pidFd.get(), POLLIN, 0},
                     {reading ? outputFd : -1, POLLIN, 0},
                     {nothingYet ? termination::fd() : -1, POLLIN, 0}};
    const int timeoutMs = (nothingYet || passedOn || termination::fd() < 0) ? -1 : 100;
    if (::poll(fds, 3, timeoutMs) < 0 && errno != EINTR) {
      break;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t got = lines.readFrom(outputFd);
      reading = got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN));
    }
    if ((fds[0].revents & POLLIN) != 0) {
      break;
    }
  }
  while (reading && lines.readFrom(outputFd) > 0) {  // what the child wrote just before it ended
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

int runShellCommand(const std::string& commandLine, const ShellCommandOptions& options) {
  const IgnoreQuit ignoring;
  int pipeFds[2] = {-1, -1};
  if (options.onOutputLine && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return -1;
  }
  const UniqueFd readEnd(pipeFds[0]);
  UniqueFd writeEnd(pipeFds[1]);
  const pid_t pid = spawnShell(commandLine, options, writeEnd.get());
  writeEnd.reset();  // the child's copy is the only writer: its end is the end of the output
  if (pid < 0) {
    return -1;
  }
  if (readEnd) {
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
  }
  return waitForChild(pid, readEnd.get(), options);
}

}  // namespace fw
