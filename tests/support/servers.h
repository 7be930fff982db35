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

/// A server on 127.0.0.1 and a free port, running until the object ends.
class Server {
 public:
  virtual ~Server() = default;
  /// "http(s)://127.0.0.1:PORT" and the path.
  std::string url(const std::string& path = "/agent.zip") const;
  int port() const { return port_; }
  /// The ETag that the server sends for the path now (asked with curl).
  std::string tag(const std::string& path = "/agent.zip") const;
  /// The requests logged so far, waiting (up to 10 s) until there are at least `count`.
  std::vector<Request> requests(size_t count = 0) const;
  /// The logged request that carried this If-None-Match ("-": none); fails the test without one.
  Request requestWithCondition(const std::string& inm, size_t count) const;

 protected:
  ScopedTempDir dir_;
  std::unique_ptr<Child> process_;
  std::string log_;
  int port_ = 0;
  bool tls_ = false;
};

/// bi-endpoint serving `archive` (none when empty), told to misbehave by `args` (its --help).
class Endpoint : public Server {
 public:
  explicit Endpoint(const std::string& archive, const std::vector<std::string>& args = {});
};

/// The system's nginx, serving the directory `webRoot` with its own ETags and honouring
/// If-None-Match.
class Nginx : public Server {
 public:
  explicit Nginx(const std::string& webRoot);
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_SERVERS_H_
