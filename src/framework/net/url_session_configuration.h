#ifndef SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_
#define SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "framework/net/proxy_route.h"
#include "framework/net/trust_environment.h"

namespace fw {

/// How a session's transfers behave. The defaults are neutral; what a product wants (its user
/// agent, how many redirects it follows, how its temporary files are named) its own code sets.
struct UrlSessionConfiguration {
  /// A transfer that receives fewer than `lowSpeedLimit` bytes a second, on average over
  /// `lowSpeedTime`, fails with kTimedOut (libcurl's own rule): one that sends nothing, and one
  /// that sends a byte now and then, alike.
  long lowSpeedLimit = 1;
  std::chrono::seconds lowSpeedTime{60};
  /// How long making a connection may take, all of it: the name's resolution, TCP, a proxy's
  /// tunnel, TLS. One not made in time fails with kCannotConnect.
  std::chrono::seconds connectTimeout{300};
  /// Whether a transfer whose URL the environment names no proxy for takes the system's proxy
  /// settings (libproxy), trying the proxies that they give in their order: the next one when
  /// a connection to one cannot be made. Without libproxy, the environment alone decides.
  bool usesSystemProxySettings = false;
  /// Told of each route that a transfer tries, before it tries it, on the transfer's thread.
  std::function<void(const std::string& url, const ProxyRoute& route)> routeObserver;
  /// What TLS peers are checked against besides libcurl's default.
  TrustStore trust;
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
  /// Where bodies are stored, in files without a name; empty: the temporary-files directory.
  std::string bodyDirectory;
  /// The start of the names of the files that bodies are stored in, where the directory's file
  /// system cannot store them unnamed.
  std::string temporaryFilePrefix = "download";

  static UrlSessionConfiguration defaultSessionConfiguration() { return {}; }
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_URL_SESSION_CONFIGURATION_H_
