#include "framework/net/proxy_environment.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace fw {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The first of the variables that is set to something.
std::optional<EnvironmentProxy> firstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return EnvironmentProxy{name, value};
    }
  }
  return std::nullopt;
}

}  // namespace

std::string schemeOf(const std::string& url) {
  const size_t colon = url.find("://");
  return colon == std::string::npos ? "" : lower(std::string_view(url).substr(0, colon));
}

std::string hostOf(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) {
    return "";
  }
  std::string_view authority = std::string_view(url).substr(scheme + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  authority.remove_prefix(
      authority.rfind('@') == std::string_view::npos ? 0 : authority.rfind('@') + 1);
  if (authority.starts_with('[')) {  // an IPv6 literal
    return lower(authority.substr(1, authority.find(']') - 1));
  }
  return lower(authority.substr(0, authority.find(':')));
}

bool noProxyCovers(const std::string& list, const std::string& host) {
  const std::string name = lower(host);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    end = end == std::string::npos ? list.size() : end;
    std::string_view entry = std::string_view(list).substr(start, end - start);
    while (!entry.empty() && std::isspace(static_cast<unsigned char>(entry.front()))) {
      entry.remove_prefix(1);
    }
    while (!entry.empty() && std::isspace(static_cast<unsigned char>(entry.back()))) {
      entry.remove_suffix(1);
    }
    if (entry == "*") {
      return true;
    }
    if (entry.starts_with('.')) {
      entry.remove_prefix(1);
    }
    const std::string domain = lower(entry);
    if (!domain.empty() &&
        (name == domain || (name.size() > domain.size() && name.ends_with(domain) &&
                            name[name.size() - domain.size() - 1] == '.'))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

EnvironmentRoute environmentRouteFor(const std::string& url) {
  EnvironmentRoute route;
  if (const auto noProxy = firstSet({"no_proxy", "NO_PROXY"})) {
    route.excluded = noProxyCovers(noProxy->proxy, hostOf(url));
    if (route.excluded) {
      return route;
    }
  }
  // Only the lower-case http_proxy: in a CGI program HTTP_PROXY is the request's Proxy header.
  const std::string scheme = schemeOf(url);
  route.proxy = scheme == "http"    ? firstSet({"http_proxy"})
                : scheme == "https" ? firstSet({"https_proxy", "HTTPS_PROXY"})
                                    : std::nullopt;
  if (!route.proxy) {
    route.proxy = firstSet({"all_proxy", "ALL_PROXY"});
  }
  return route;
}

}  // namespace fw
