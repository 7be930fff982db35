#include "framework/net/proxy_route.h"

#include "framework/net/proxy_environment.h"
#include "framework/net/system_proxies.h"

namespace fw {

std::vector<ProxyRoute> proxyRoutesFor(const std::string& url, bool systemSettings) {
  // A proxy named in the environment wins over the desktop's, and no_proxy is honoured, as the
  // curl tool and libcurl decide.
  const EnvironmentRoute environment = environmentRouteFor(url);
  if (environment.decides()) {
    ProxyRoute route{.origin = ProxyRoute::Origin::kEnvironment};
    if (environment.proxy) {
      route.proxy = environment.proxy->proxy;
      route.variable = environment.proxy->variable;
    } else {
      route.variable = "no_proxy";
    }
    return {route};
  }
  if (!systemSettings) {
    return {ProxyRoute{}};
  }
  std::string error;
  const auto proxies = systemProxiesFor(url, error);
  if (!proxies) {
    return {ProxyRoute{.problem = error}};
  }
  std::vector<ProxyRoute> routes;
  for (const std::string& proxy : *proxies) {
    routes.push_back({.origin = ProxyRoute::Origin::kSystem, .proxy = proxy});
  }
  return routes;
}

std::string withoutCredentials(const std::string& proxy) {
  const size_t scheme = proxy.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t at = proxy.find('@', start);
  if (at == std::string::npos || proxy.find('/', start) < at) {
    return proxy;
  }
  return proxy.substr(0, start) + proxy.substr(at + 1);
}

}  // namespace fw
