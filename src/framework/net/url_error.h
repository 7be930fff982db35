#ifndef SRC_FRAMEWORK_NET_URL_ERROR_H_
#define SRC_FRAMEWORK_NET_URL_ERROR_H_

#include <string>

namespace fw {

/// Why a transfer ended without a complete body.
struct UrlError {
  enum class Code {
    kCancelled,         // cancel() or invalidateAndCancel()
    kBadUrl,            // the URL does not parse, or names a scheme other than http(s)
    kCannotConnect,     // no such host, refused, unreachable, no connection in time
    kTimedOut,          // no byte for the session's stall timeout
    kSecureConnection,  // the TLS handshake or the certificate check failed
    kNetworkLost,       // reset or closed early, a body shorter than announced
    kCannotWriteFile,   // the body could not be stored (a full disk, for one)
    kOther,
  };
  Code code = Code::kOther;
  std::string localizedDescription;
  std::string failingUrl;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_URL_ERROR_H_
