#include "support/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <vector>

#include "support/background_process.h"
#include "support/files.h"

namespace testing_support {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

// Reads what Xvfb writes to its -displayfd descriptor (the display number and a newline, once
// it accepts connections) until the newline, the end of the pipe, or the deadline.
std::string readDisplayNumber(int fd) {
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return "";
    }
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      continue;
    }
    char byte = 0;
    if (::read(fd, &byte, 1) != 1) {
      return "";
    }
    if (byte == '\n') {
      return number;
    }
    number += byte;
  }
}

}  // namespace

XvfbServer::XvfbServer() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 for Xvfb failed");
  }
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  const std::string errorPath = dir_ / "stderr";
  std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                   "-nolisten", "tcp",        "-screen",
                                   "0",         "1024x768x24"};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) {
    throw std::runtime_error("fork for Xvfb failed");
  }
  if (pid_ == 0) {
    // A test process that ends abruptly (a sanitizer's report, a crash) takes its server along.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) {
      ::_exit(125);
    }
    const int in = ::open("/dev/null", O_RDWR);
    const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    // The write end of the pipe goes to the server, so it must survive the exec.
    if (in < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(in, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::fcntl(fds[1], F_SETFD, 0) != 0) {
      ::_exit(126);
    }
    ::execv("/usr/bin/Xvfb", argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  const std::string number = readDisplayNumber(fds[0]);
  ::close(fds[0]);
  if (number.empty()) {
    stop();
    throw std::runtime_error("Xvfb did not start: " + readFile(errorPath));
  }
  display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
  stop();
}

void XvfbServer::stop() {
  if (pid_ <= 0) {
    return;
  }
  ::kill(pid_, SIGTERM);
  const pid_t pid = pid_;
  const bool ended =
      waitUntil([pid] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, std::chrono::seconds(5));
  if (!ended) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

XvfbServer& sharedXvfb() {
  static XvfbServer server;
  return server;
}

}  // namespace testing_support
