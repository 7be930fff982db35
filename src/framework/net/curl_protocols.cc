#include "framework/net/curl_protocols.h"

namespace fw {

#if LIBCURL_VERSION_NUM >= 0x075500
static_assert(kProtocolNamesOption == CURLOPT_PROTOCOLS_STR &&
              kRedirectProtocolNamesOption == CURLOPT_REDIR_PROTOCOLS_STR);
#endif

CURLcode restrictProtocols(const CurlLibrary& curl, CURL* easy, ProtocolRule rule, bool httpsOnly) {
  CURLcode code = CURLE_UNKNOWN_OPTION;
  if (rule == ProtocolRule::kNames) {
    code = curl.easySetopt(easy, kProtocolNamesOption, "http,https");
    if (code == CURLE_OK) {
      code =
          curl.easySetopt(easy, kRedirectProtocolNamesOption, httpsOnly ? "https" : "http,https");
    }
  } else if (rule == ProtocolRule::kBitMasks) {
    const long web = CURLPROTO_HTTP | CURLPROTO_HTTPS;
    code = curl.easySetopt(easy, kProtocolsOption, web);
    if (code == CURLE_OK) {
      code =
          curl.easySetopt(easy, kRedirectProtocolsOption, httpsOnly ? long{CURLPROTO_HTTPS} : web);
    }
  }
  return code;
}

ProtocolRule chooseProtocolRule(const CurlLibrary& curl, std::string& error) {
  CURL* easy = curl.easyInit();
  if (easy == nullptr) {
    error = "curl_easy_init failed";
    return ProtocolRule::kNone;
  }
  ProtocolRule rule = ProtocolRule::kNone;
  for (const ProtocolRule form : {ProtocolRule::kNames, ProtocolRule::kBitMasks}) {
    const CURLcode code = restrictProtocols(curl, easy, form, true);
    if (code == CURLE_OK) {
      rule = form;
      break;
    }
    error = curl.easyStrerror(code);
  }
  curl.easyCleanup(easy);
  if (rule != ProtocolRule::kNone) {
    error.clear();
  }
  return rule;
}

}  // namespace fw
