#ifndef SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_
#define SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_

#include <chrono>
#include <cstddef>
#include <string>

namespace fw {

/// How a session's transfers behave. The defaults are neutral; what a product wants (its user
/// agent, how many redirects it follows, how its temporary files are named) its own code sets.
struct UrlSessionConfiguration {
  /// A transfer that receives fewer than `lowSpeedLimit` bytes a second, on average over
  /// `lowSpeedTime`, fails with kTimedOut (libcurl's own rule): one that sends nothing, and one
  /// that sends a byte now and then, alike. A connection not made within `lowSpeedTime` fails
  /// the same way.
  long lowSpeedLimit = 1;
  std::chrono::seconds lowSpeedTime{60};
  /// libcurl's receive buffer: the largest piece of body handled at once.
  size_t receiveBufferSize = size_t{512} * 1024;
  /// The shortest time between two progress reports after the first.
  std::chrono::milliseconds progressInterval{40};
  /// Redirects followed (http and https only) before a transfer fails.
  long maxRedirects = 20;
  /// Whether a transfer that starts on https follows a redirect to plain http.
  bool followsHttpsToHttp = true;
  /// The User-Agent request header; empty sends none.
  std::string userAgent;
  /// The start of the names of the files that bodies are stored in, in the temporary-files
  /// directory, where its file system cannot store them unnamed.
  std::string temporaryFilePrefix = "download";

  static UrlSessionConfiguration defaultSessionConfiguration() { return {}; }
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_
