#include "download/download_bridge.h"

#include <cstdlib>

#include "framework/net/proxy_environment.h"
#include "framework/net/system_proxies.h"
#include "framework/net/url_session.h"
#include "framework/os/main_bundle.h"
#include "platform/install_locations.h"
#include "provisioning/agent_signature.h"
#include "provisioning/cache_install.h"

std::string downloadFrom;
std::string downloadTo;
char** EMPTY_ARGV = nullptr;

bool downloadInstallAgentFromZR(const char* destination, const char* url, ReportFn /*report*/) {
  const char* overrideUrl = std::getenv("ZR_INTERNAL_INSTALL_AGENT_URL");
  downloadTo = destination;
  downloadFrom = overrideUrl != nullptr ? overrideUrl : url;
  // While the server's last word keeps the cached install agent fresh, there is nothing to ask
  // it: no request, no window.
  const auto bundle = fw::mainBundle();
  const TrustAnchor anchor = readTrustAnchor(bundle ? bundle->resourcePath : "");
  if ((!anchor.required || !anchor.keys.empty()) &&
      keepCachedInstallAgentIfReusable(getInstallAgentCacheDir(), downloadFrom, anchor.keyIds(),
                                       Reuse::kFresh)) {
    return true;
  }
  // libcurl, and libproxy where the environment leaves the proxy to the desktop's settings,
  // load while the runner sets up its window.
  fw::UrlSession::prepare();
  if (fw::inDesktopSession() && !fw::environmentRouteFor(downloadFrom).decides()) {
    fw::prepareSystemProxies();
  }
  return CallNSApplicationMain(0, EMPTY_ARGV) != 0;
}
