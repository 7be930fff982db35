#ifndef SRC_FRAMEWORK_TERMINATION_SIGNALS_H_
#define SRC_FRAMEWORK_TERMINATION_SIGNALS_H_

#include <csignal>

namespace fw {

/// While it lives, SIGINT and SIGTERM no longer end the process: each one makes fd() readable
/// instead, so that the event loop can wind down in order. The previous handlers come back when
/// it is destroyed. One instance at a time.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  /// Readable once a signal has arrived.
  int fd() const { return readFd_; }
  /// Consumes what the signals wrote; returns whether any arrived.
  bool drain();

 private:
  int readFd_ = -1;
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_TERMINATION_SIGNALS_H_
