// Proxies as users have them, end to end: named by the environment, or by GNOME's settings
// (manual, or a PAC file) read through libproxy from GSettings' keyfile, as a GNOME session
// sets them up; squid as the proxy, open or asking for Basic credentials. Each row says which
// proxy the run must take, what it logs, and what each squid served.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

struct Route {
  const char* name;
  // The run's variables and GNOME's proxy settings (a keyfile), where {PROXY} and {AUTH} stand
  // for the open and the authenticating squid's host:port ({PROXYPORT}, {AUTHPORT} their ports),
  // {DEAD} for a port where nothing listens,
  // {ROOT} for the sandbox; "" runs outside a GNOME session.
  Env env = {};
  const char* desktop = "";
  const char* host = "127.0.0.1";  // the endpoint's
  bool https = false;              // trusted through CURL_CA_BUNDLE
  bool hideLibproxy = false;
  std::string err = "Downloading\nInitializing the installer\n";  // a pattern
  int exitStatus = 0;
  size_t open = 0;  // requests served by the open squid
  size_t auth = 0;  // and by the authenticating one
};

const char* const kManual =
    "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n"
    "[system/proxy/http]\nhost='127.0.0.1'\nport={PROXYPORT}\n";
const char* const kManualDead =
    "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n"
    "[system/proxy/http]\nhost='127.0.0.1'\nport={DEAD}\n";
const char* const kManualWithCredentials =
    "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n[system/proxy/http]\nhost='127.0.0.1'\n"
    "port={AUTHPORT}\nuse-authentication=true\nauthentication-user='alice'\n"
    "authentication-password='s3cret'\n";
// localhost direct, anything else through a proxy that is down, then the open squid.
const char* const kPac =
    "[system/proxy]\nmode='auto'\nignore-hosts=@as []\n"
    "autoconfig-url='file://{ROOT}/proxy.pac'\n";
const std::string kThrough = "Downloading\nUsing the proxy http://127.0.0.1:* (";
const std::string kDesktops = "the desktop's proxy settings) for http://127.0.0.1:*/agent.zip\n";

// clang-format off
const Route kRoutes[] = {
    {.name = "EnvironmentProxy", .env = {{"http_proxy", "http://{PROXY}"}}, .err = kThrough + "http_proxy) for http://127.0.0.1:*/agent.zip\nInitializing the installer\n", .open = 1},
    {.name = "EnvironmentProxyTunnelWithCredentials", .env = {{"https_proxy", "http://alice:s3cret@{AUTH}"}}, .https = true, .err = kThrough + "https_proxy) for https://127.0.0.1:*/agent.zip\nInitializing the installer\n", .auth = 1},
    {.name = "RefusedCredentials", .env = {{"http_proxy", "http://alice:wrong@{AUTH}"}}, .err = kThrough + "http_proxy) for *\nDownload failed with http error code- 407\nDownload failed with error code 407\nInstallation failed.\n", .exitStatus = 255},
    {.name = "RefusedCredentialsForATunnel", .env = {{"https_proxy", "http://alice:wrong@{AUTH}"}}, .https = true, .err = kThrough + "https_proxy) for *\nDownload failed! Error - CONNECT tunnel failed, response 407 https://127.0.0.1:*/agent.zip\nError during the download process.\nSee the log in Console app for more information.\nInstallation failed.\n", .exitStatus = 255},
    {.name = "DesktopManual", .desktop = kManual, .err = kThrough + kDesktops + "Initializing the installer\n", .open = 1},
    {.name = "DesktopManualWithCredentials", .desktop = kManualWithCredentials, .err = kThrough + kDesktops + "Initializing the installer\n", .auth = 1},
    {.name = "EnvironmentWinsOverDesktop", .env = {{"http_proxy", "http://{PROXY}"}}, .desktop = kManualDead, .err = kThrough + "http_proxy) for *\nInitializing the installer\n", .open = 1},
    {.name = "NoProxyIsKept", .env = {{"no_proxy", "localhost,127.0.0.1"}}, .desktop = kManualDead},
    {.name = "PacListInItsOrder", .desktop = kPac, .err = kThrough + kDesktops + "Using the proxy http://127.0.0.1:* (" + kDesktops + "Initializing the installer\n", .open = 1},
    {.name = "PacDirectForAnotherHost", .desktop = kPac, .host = "localhost"},
    {.name = "NoLibproxy", .desktop = kManualDead, .hideLibproxy = true, .err = "Downloading\nNo desktop proxy settings: cannot load libproxy: *; the environment alone decides\nInitializing the installer\n"},
};
// clang-format on

void PrintTo(const Route& row, std::ostream* out) {
  *out << row.name;
}

std::string filledIn(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values) {
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
      text.replace(at, name.size(), value);
    }
  }
  return text;
}

class NetworkTest : public ProgramTest, public testing::WithParamInterface<Route> {};

// How many requests the proxy served, a tunnel included.
size_t served(const Endpoint& proxy, size_t count) {
  const std::vector<Request> requests = proxy.requests(count);
  return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                           [](const Request& r) { return r.status == 200; }));
}

}  // namespace

TEST_P(NetworkTest, Row) {
  const Route& row = GetParam();
  ::chmod(root_.path().c_str(), 0755);  // squid, started as root, reads it as its own user
  writeFile(root_ / "users", runProcess({"/usr/bin/htpasswd", "-nbm", "alice", "s3cret"}).out);
  const Endpoint open("", {}, Server::kSquid);
  const Endpoint auth("", {"--users", root_ / "users"}, Server::kSquid);
  std::vector<std::string> serverArgs;
  Env env;
  if (row.https) {
    makeCertificates();
    serverArgs = {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"};
    env["CURL_CA_BUNDLE"] = root_ / "ca.pem";
  }
  const Endpoint server(archive_, serverArgs);
  const std::map<std::string, std::string> values = {
      {"{PROXY}", open.url("").substr(7)},
      {"{AUTH}", auth.url("").substr(7)},
      {"{PROXYPORT}", open.url("").substr(17)},
      {"{AUTHPORT}", auth.url("").substr(17)},
      {"{DEAD}", Endpoint(archive_).url("").substr(17)},  // stopped: nothing listens there now
      {"{ROOT}", root_.path()}};
  for (const auto& [name, value] : row.env) {
    env[name] = filledIn(*value, values);
  }
  if (*row.desktop != '\0') {  // as a GNOME session has it
    writeFile(root_ / "config/glib-2.0/settings/keyfile", filledIn(row.desktop, values));
    writeFile(root_ / "proxy.pac",
              filledIn("function FindProxyForURL(url, host) { return host == 'localhost' ? "
                       "'DIRECT' : 'PROXY 127.0.0.1:{DEAD}; PROXY {PROXY}'; }",
                       values));
    env.insert({{"GSETTINGS_BACKEND", "keyfile"},
                {"XDG_CONFIG_HOME", root_ / "config"},
                {"DESKTOP_SESSION", "gnome"},
                {"XDG_CURRENT_DESKTOP", "GNOME"}});
  }
  std::string url = server.url();
  setEndpointUrl(url.replace(url.find("127.0.0.1"), 9, row.host));
  const ProcessResult result = run(
      {}, env,
      row.hideLibproxy ? hidingLibraries("/usr/lib/*/libproxy.so.1") : std::vector<std::string>{});

  EXPECT_EQ(0, ::fnmatch(row.err.c_str(), result.err.c_str(), 0)) << result.err;
  EXPECT_EQ(row.exitStatus, result.exitStatus) << result.err;
  EXPECT_EQ(std::string::npos, result.err.find("s3cret")) << result.err;
  EXPECT_EQ(std::string::npos, result.err.find("wrong")) << result.err;
  EXPECT_EQ(row.open, served(open, row.open));
  EXPECT_EQ(row.auth, served(auth, row.auth));
  EXPECT_EQ(row.exitStatus == 0 ? 1 : 0, agentRuns());
}

INSTANTIATE_TEST_SUITE_P(Squid, NetworkTest, testing::ValuesIn(kRoutes),
                         [](const auto& row) { return std::string(row.param.name); });
