#include "download/download_bridge.h"

#include <cstdlib>

#include "framework/net/url_session.h"

std::string downloadFrom;
std::string downloadTo;
char** EMPTY_ARGV = nullptr;

bool downloadInstallAgentFromZR(const char* destination, const char* url, ReportFn /*report*/) {
  const char* overrideUrl = std::getenv("ZR_INTERNAL_INSTALL_AGENT_URL");
  downloadTo = destination;
  downloadFrom = overrideUrl != nullptr ? overrideUrl : url;
  // libcurl loads while the runner sets up its window.
  fw::UrlSession::prepare();
  return CallNSApplicationMain(0, EMPTY_ARGV) != 0;
}
