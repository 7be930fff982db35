#include <gtest/gtest.h>

#include "framework/net/proxy_environment.h"
#include "framework/net/proxy_route.h"
#include "framework/net/system_proxies.h"

namespace {

// Tests that no_proxy covers a host as libcurl's list does (the host or a parent domain, whole
// labels only, in any case, blanks around entries ignored), and which host a URL names.
TEST(ProxyEnvironmentTest, NoProxyCoversWholeLabels) {
  // clang-format off
  const std::tuple<const char*, const char*, bool> rows[] = {
      {"*", "any.host", true}, {"example.com", "www.Example.COM", true}, {".example.com", "example.com", true},
      {"example.com", "badexample.com", false}, {"a.test , example.com ", "example.com", true},
      {"example.com", "example.co", false}, {"", "example.com", false}, {"127.0.0.1", "127.0.0.10", false}};
  // clang-format on
  for (const auto& [list, host, covered] : rows) {
    EXPECT_EQ(covered, fw::noProxyCovers(list, host)) << list << " " << host;
  }
  EXPECT_EQ("host.example", fw::hostOf("http://u:p@Host.Example:8080/x@y?z"));
  EXPECT_EQ("::1", fw::hostOf("https://[::1]:443/"));
}

// Tests that libproxy's answers reach libcurl in forms that it knows, credentials kept, and that
// a log line gets them without.
TEST(ProxyRouteTest, LibproxyAnswersInLibcurlsForms) {
  EXPECT_EQ("", fw::curlProxyOf("direct://"));
  EXPECT_EQ("socks5://h:1080", fw::curlProxyOf("socks://h:1080"));
  EXPECT_EQ("http://u:p@h:3128", fw::curlProxyOf("http://u:p@h:3128"));
  EXPECT_EQ(std::nullopt, fw::curlProxyOf("ftp://h:21"));
  EXPECT_EQ("http://h:3128", fw::withoutCredentials("http://u:p@h:3128"));
  EXPECT_EQ("http://h:3128/a@b", fw::withoutCredentials("http://h:3128/a@b"));
}

}  // namespace
