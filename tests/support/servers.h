#ifndef TESTS_SUPPORT_SERVERS_H_
#define TESTS_SUPPORT_SERVERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace testing_support {

/// One request as a server's log has it, once its response has ended.
struct Request {
  std::string method;
  std::string path;
  std::string inm;  // the If-None-Match value as sent, "-" when there was none
  int status = 0;
  uint64_t bodyBytes = 0;  // body bytes the server's socket accepted
};

enum class Server { kEndpoint, kNginx, kSquid, kApache, kLighttpd, kPlain };

/// bi-endpoint on 127.0.0.1 and a free port, serving `archive` (none when empty), told to
/// misbehave by `args` (its --help), until the object ends. With kNginx, nginx serves the
/// directory `archive` instead, with the options of support/nginx.sh; with kSquid, squid is a
/// proxy there, with the options of support/squid.sh (`archive` empty); Apache, lighttpd and
/// Python's http.server (kPlain, without ranges or validators) serve the directory as nginx
/// does, with the options of support/web-server.sh.
class Endpoint {
 public:
  explicit Endpoint(const std::string& archive, const std::vector<std::string>& args = {},
                    Server server = Server::kEndpoint);

  /// "http(s)://127.0.0.1:PORT" and the path.
  std::string url(const std::string& path = "/agent.zip") const;
  /// The ETag that the server sends for the path now (asked with curl).
  std::string tag(const std::string& path = "/agent.zip") const;
  /// The requests logged so far, waiting (up to 10 s) until there are at least `count`.
  std::vector<Request> requests(size_t count = 0) const;

 private:
  ScopedTempDir dir_;
  std::unique_ptr<Child> process_;
  int port_ = 0;
  bool tls_ = false;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_SERVERS_H_
