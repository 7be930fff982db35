#ifndef TOOLS_ENDPOINT_ENDPOINT_SERVER_H_
#define TOOLS_ENDPOINT_ENDPOINT_SERVER_H_

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "endpoint/content_tag.h"
#include "endpoint/endpoint_options.h"
#include "endpoint/request_log.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace endpoint {

class BodyStream;

/// The HTTP(S) server of bi-endpoint. Answers GET (and HEAD) of any path on 127.0.0.1 with the
/// configured content and its ETag, answers 304 to a matching If-None-Match, redirects
/// /redirect/N/<rest> to /redirect/N-1/<rest>, misbehaves as the options say, and logs each
/// request when its response has ended. A content file that is missing gives 404.
class EndpointServer {
 public:
  explicit EndpointServer(EndpointOptions options);
  ~EndpointServer();
  EndpointServer(const EndpointServer&) = delete;
  EndpointServer& operator=(const EndpointServer&) = delete;

  /// Opens the log and binds 127.0.0.1 on the configured port (any free one for 0). Returns the
  /// bound port, or -1 with a message in `error`.
  int bind(std::string* error);

  /// Accepts connections until stop(); returns once every connection is closed. False when
  /// accepting failed.
  bool serve();

  /// Makes serve() return: ends stalls and paced sends, then closes the listening socket.
  /// Returns at once; safe from any thread, also before serve() has started.
  void stop() { stopping_ = true; }

 private:
  void handle(const httplib::Request& request, httplib::Response& response);
  void serveContent(const httplib::Request& request, httplib::Response& response);
  void remember(const httplib::Response& response, std::shared_ptr<const BodyStream> stream);
  void logFinished(const httplib::Request& request, const httplib::Response& response);

  EndpointOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::atomic<bool> stopping_{false};
  ContentTagCache tags_;
  RequestLog log_;
  // The body stream (null: no body) of each response being written, for its log line. httplib
  // hands the logger the same Response object the handler filled.
  std::mutex streamsMutex_;
  std::map<const httplib::Response*, std::shared_ptr<const BodyStream>> streams_;
};

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_ENDPOINT_SERVER_H_
