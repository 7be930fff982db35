#ifndef TOOLS_ENDPOINT_REQUEST_LOG_H_
#define TOOLS_ENDPOINT_REQUEST_LOG_H_

#include <cstdint>
#include <string>

#include "framework/base/unique_fd.h"

namespace endpoint {

/// One finished request as the log records it.
struct LoggedRequest {
  std::string method;
  std::string path;
  std::string ifNoneMatch;  // empty: the request had none
  int status = 0;
  uint64_t bodyBytes = 0;  // body bytes the socket accepted
};

/// The log line for `request`, newline included:
/// `<method> <path> inm=<If-None-Match or -> status=<code> body_bytes=<bytes>`.
/// Blanks, control bytes and "%" in the path, and control bytes in the other fields, appear as
/// %XX, so a line always splits at its blanks and at " status=".
std::string formatLogLine(const LoggedRequest& request);

/// An append-only log file. Each line goes out in one write() to a descriptor opened with
/// O_APPEND, so lines from several threads never mix and a reader sees a line as soon as it was
/// added.
class RequestLog {
 public:
  RequestLog() = default;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  /// Opens (creating) `path` for appending. False with a message in `error` when it cannot.
  bool open(const std::string& path, std::string* error);
  /// Appends the line for `request`; does nothing when no file is open.
  void append(const LoggedRequest& request);

 private:
  fw::UniqueFd fd_;
};

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_REQUEST_LOG_H_
