#ifndef TESTS_SUPPORT_ENDPOINT_SERVER_H_
#define TESTS_SUPPORT_ENDPOINT_SERVER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/background_process.h"
#include "support/scoped_temp_dir.h"

namespace testing_support {

/// One line of bi-endpoint's request log: a request whose response has ended.
struct EndpointLogLine {
  std::string method;
  std::string path;
  std::string inm;  // the If-None-Match value as sent, "-" when there was none
  int status = 0;
  uint64_t bodyBytes = 0;  // body bytes the server's socket accepted
};

/// The path of the built bi-endpoint program.
const char* endpointProgram();

/// The built bi-endpoint, running on 127.0.0.1 on a free port until the object ends.
class EndpointServer {
 public:
  /// Starts bi-endpoint serving `archive` (no --archive when empty) with `extraArgs` added, and
  /// waits until it listens. Throws std::runtime_error, with the program's error output, when it
  /// ends or does not listen within 10 s.
  explicit EndpointServer(const std::string& archive,
                          const std::vector<std::string>& extraArgs = {});
  /// stop().
  ~EndpointServer();
  EndpointServer(const EndpointServer&) = delete;
  EndpointServer& operator=(const EndpointServer&) = delete;

  int port() const { return port_; }
  /// "http://127.0.0.1:PORT" and `path` ("https" when TLS options were given); a path without
  /// a leading "/" gets one.
  std::string url(const std::string& path = "/") const;

  /// The request log so far.
  std::vector<EndpointLogLine> logLines() const;
  /// Waits (up to 10 s) until the log has at least `count` lines, and returns it. A line is
  /// written when its response has ended, which can be a moment after the client is done.
  std::vector<EndpointLogLine> waitForLogLines(size_t count) const;

  /// Sends SIGTERM and waits (SIGKILL after 5 s). Returns the exit status (0 after a clean
  /// stop; 128 + signal when killed). Later calls return the same.
  int stop();
  /// What the program wrote to standard error.
  std::string errorOutput() const;

 private:
  ScopedTempDir dir_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
  bool tls_ = false;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_ENDPOINT_SERVER_H_
