#include "framework/os/termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace fw::termination {

namespace {

// A signal handler can reach nothing but globals.
std::atomic<int> firstSignal{0};
std::atomic<unsigned> receivedMask{0};  // bit n: signal n arrived
std::atomic<int> readEnd{-1};
std::atomic<int> writeEnd{-1};

void onSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  firstSignal.compare_exchange_strong(none, signal);
  receivedMask.fetch_or(1U << static_cast<unsigned>(signal));
  const char byte = 1;
  const int fd = writeEnd.load();
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

void install() {
  if (readEnd.load() >= 0) {
    return;
  }
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  writeEnd.store(fds[1]);
  readEnd.store(fds[0]);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    ::sigaction(signal, nullptr, &old);
    if (old.sa_handler != SIG_IGN) {
      ::sigaction(signal, &action, nullptr);
    }
  }
}

int requested() {
  return firstSignal.load();
}

bool received(int signal) {
  return signal > 0 && signal < 32 &&
         (receivedMask.load() & (1U << static_cast<unsigned>(signal))) != 0;
}

int fd() {
  return readEnd.load();
}

}  // namespace fw::termination
