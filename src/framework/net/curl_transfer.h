#ifndef SRC_FRAMEWORK_NET_CURL_TRANSFER_H_
#define SRC_FRAMEWORK_NET_CURL_TRANSFER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/net/http_response.h"
#include "framework/net/url_error.h"
#include "framework/net/url_session_configuration.h"

namespace fw {

struct CurlLibrary;

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
  /// Stores a piece of the final response's body: 0, or the errno of why it could not, which
  /// ends the transfer with kCannotWriteFile.
  std::function<int(std::string_view piece)> storeBody;
};

/// Runs one GET of `url` on the calling thread with `curl` (null: the libcurl loaded on first
/// use), handing the body to `hooks.storeBody` and the final response into `response`. Returns
/// no error when the body is complete.
std::optional<UrlError> runCurlTransfer(const CurlLibrary* curl, const std::string& url,
                                        const std::vector<std::string>& headerLines,
                                        const UrlSessionConfiguration& configuration,
                                        HttpResponse& response, const CurlTransferHooks& hooks);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_TRANSFER_H_
