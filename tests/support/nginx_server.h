#ifndef TESTS_SUPPORT_NGINX_SERVER_H_
#define TESTS_SUPPORT_NGINX_SERVER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/background_process.h"
#include "support/scoped_temp_dir.h"

namespace testing_support {

/// One line of the nginx access log.
struct NginxLogLine {
  int status = 0;
  uint64_t bodyBytes = 0;  // $body_bytes_sent
  std::string inm;         // the If-None-Match value, "-" when there was none
  std::string request;     // the request line, e.g. "GET /a.zip HTTP/1.1"
};

/// The system's nginx (/usr/sbin/nginx) as one foreground process on 127.0.0.1 and a free
/// port, serving a directory with nginx's own ETags, until the object ends. Its configuration,
/// pid file, logs and temporary directories live in a temporary directory of its own; it works
/// for root and for other users alike.
class NginxServer {
 public:
  /// Starts nginx serving `webRoot` and waits until it listens. Throws std::runtime_error, with
  /// nginx's error log, when it does not start within 10 s (after a few tries on other ports).
  explicit NginxServer(const std::string& webRoot);
  /// stop().
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  int port() const { return port_; }
  /// "http://127.0.0.1:PORT" and `path`; a path without a leading "/" gets one.
  std::string url(const std::string& path = "/") const;

  /// The access log so far, a line per finished request.
  std::vector<NginxLogLine> accessLog() const;
  /// Waits (up to 10 s) until the access log has at least `count` lines, and returns it.
  std::vector<NginxLogLine> waitForAccessLog(size_t count) const;

  /// Sends SIGTERM and waits (SIGKILL after 5 s); returns the exit status. Later calls return
  /// the same.
  int stop();

 private:
  /// Writes the configuration for `port` and starts nginx; true once it listens, false when it
  /// ended (such as when the port was taken meanwhile).
  bool startOn(int port, const std::string& webRoot);

  ScopedTempDir dir_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_NGINX_SERVER_H_
