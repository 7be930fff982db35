#ifndef SRC_FRAMEWORK_NET_PROXY_ROUTE_H_
#define SRC_FRAMEWORK_NET_PROXY_ROUTE_H_

#include <string>
#include <vector>

namespace fw {

/// One way for a transfer to reach its URL.
struct ProxyRoute {
  enum class Origin {
    kNone,         ///< nothing names a proxy: direct
    kEnvironment,  ///< a variable names the proxy, or sends the host direct (`variable`)
    kSystem,       ///< the system's settings (libproxy)
  };
  Origin origin = Origin::kNone;
  /// The proxy, credentials included, as libcurl takes it; empty: direct.
  std::string proxy = {};
  /// The variable that decided, for kEnvironment.
  std::string variable = {};
  /// Why the system's settings could not be asked, when they were wanted and could not be.
  std::string problem = {};
};

/// The routes to try for `url`, in order: the environment's (libcurl reads it itself) when it
/// names a proxy for the URL or sends its host direct; else, when `systemSettings`, each proxy
/// that the system's settings give; else direct. Never empty.
std::vector<ProxyRoute> proxyRoutesFor(const std::string& url, bool systemSettings);

/// The proxy without its user name and password, for a log line.
std::string withoutCredentials(const std::string& proxy);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_PROXY_ROUTE_H_
