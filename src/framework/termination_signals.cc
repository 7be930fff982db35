#include "framework/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace fw {

namespace {

// The write end for the handler: a signal handler can reach nothing but globals.
std::atomic<int> signalWriteFd{-1};

void onSignal(int /*signal*/) {
  const int savedErrno = errno;
  const char byte = 1;
  const int fd = signalWriteFd.load();
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  readFd_ = fds[0];
  signalWriteFd.store(fds[1]);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // A signal that the process was started to ignore (a background job's SIGINT) stays ignored.
  ::sigaction(SIGINT, nullptr, &oldInt_);
  ::sigaction(SIGTERM, nullptr, &oldTerm_);
  if (oldInt_.sa_handler != SIG_IGN) {
    ::sigaction(SIGINT, &action, nullptr);
  }
  if (oldTerm_.sa_handler != SIG_IGN) {
    ::sigaction(SIGTERM, &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  if (readFd_ < 0) {
    return;
  }
  ::sigaction(SIGINT, &oldInt_, nullptr);
  ::sigaction(SIGTERM, &oldTerm_, nullptr);
  const int writeFd = signalWriteFd.exchange(-1);
  ::close(writeFd);
  ::close(readFd_);
}

bool TerminationSignals::drain() {
  char buffer[64];
  bool any = false;
  while (::read(readFd_, buffer, sizeof buffer) > 0) {
    any = true;
  }
  return any;
}

}  // namespace fw
