#ifndef SRC_FRAMEWORK_NET_PROXY_ENVIRONMENT_H_
#define SRC_FRAMEWORK_NET_PROXY_ENVIRONMENT_H_

#include <optional>
#include <string>

namespace fw {

/// A proxy that the environment names for a URL, as libcurl reads it.
struct EnvironmentProxy {
  std::string variable;  ///< "https_proxy", "ALL_PROXY", ...
  std::string proxy;     ///< its value, credentials included
};

/// What the environment says of how to reach `url`, read as libcurl reads it: `no_proxy` (or
/// `NO_PROXY`) first, then `http_proxy` for http (lower case only) or `https_proxy` /
/// `HTTPS_PROXY` for https, then `all_proxy` / `ALL_PROXY`; empty values count as unset.
struct EnvironmentRoute {
  /// The host is one that `no_proxy` sends direct.
  bool excluded = false;
  /// The proxy named for the URL's scheme, unless excluded.
  std::optional<EnvironmentProxy> proxy;
  /// Whether the environment decides the route: the system's settings are then not asked.
  bool decides() const { return excluded || proxy.has_value(); }
};
EnvironmentRoute environmentRouteFor(const std::string& url);

/// Whether the `no_proxy` list covers `host`: "*", or an entry equal to the host or to one of
/// its parent domains (a leading dot ignored), case-insensitively.
bool noProxyCovers(const std::string& list, const std::string& host);

/// The scheme and the host of a URL, lower case, the host without brackets or port; empty
/// strings for what is not there.
std::string schemeOf(const std::string& url);
std::string hostOf(const std::string& url);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_PROXY_ENVIRONMENT_H_
