#ifndef TESTS_SUPPORT_XVFB_SERVER_H_
#define TESTS_SUPPORT_XVFB_SERVER_H_

#include <sys/types.h>

#include <string>

#include "support/scoped_temp_dir.h"

namespace testing_support {

/// A virtual X server (Xvfb, one 1024x768 screen of 24 bits, no TCP) on a display number of its
/// own, running until the object ends, or until the process that started it ends in any way
/// (it gets SIGTERM then), so that no test run leaves one behind.
class XvfbServer {
 public:
  /// Starts Xvfb on a free display number (it picks one whose lock it can take) and waits until
  /// it accepts connections. Throws std::runtime_error, with the server's error output, when it
  /// ends or is not ready within 10 s.
  XvfbServer();
  /// Stops the server (SIGTERM; SIGKILL after 5 s).
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  /// The display name, ":N".
  const std::string& display() const { return display_; }

 private:
  void stop();

  ScopedTempDir dir_;
  pid_t pid_ = -1;
  std::string display_;
};

/// One server for the whole test process, started on first use and stopped at exit.
XvfbServer& sharedXvfb();

}  // namespace testing_support

#endif  // TESTS_SUPPORT_XVFB_SERVER_H_
