#ifndef SRC_FRAMEWORK_NET_CURL_TRANSFER_H_
#define SRC_FRAMEWORK_NET_CURL_TRANSFER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/net/http_response.h"
#include "framework/net/url_error.h"
#include "framework/net/url_session_configuration.h"

namespace fw {

/// What one transfer needs from its session.
struct CurlTransferHooks {
  /// Called with the final response's first body bytes (and later ones, gathered), after the
  /// response has been filled in. Returning false ends the transfer as cancelled.
  std::function<bool(int64_t bytes, int64_t total, int64_t expected)> onData;
  /// Whether the transfer has been cancelled; asked often.
  std::function<bool()> isCancelled;
  /// Receives a function that interrupts the transfer's wait from another thread (or an empty
  /// one once the transfer is over).
  std::function<void(std::function<void()>)> setWaker;
};

/// Runs one GET of `url` with libcurl on the calling thread, writing the body to `bodyFd` and
/// the final response into `response`. Returns no error when the body is complete.
std::optional<UrlError> runCurlTransfer(const std::string& url,
                                        const std::vector<std::string>& headerLines,
                                        const UrlSessionConfiguration& configuration, int bodyFd,
                                        HttpResponse& response, const CurlTransferHooks& hooks);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_TRANSFER_H_
