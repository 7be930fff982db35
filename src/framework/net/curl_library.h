#ifndef SRC_FRAMEWORK_NET_CURL_LIBRARY_H_
#define SRC_FRAMEWORK_NET_CURL_LIBRARY_H_

#include <curl/curl.h>

#include <string>

namespace fw {

/// How this libcurl lets a transfer be held to http and https.
enum class ProtocolRule {
  kNames,     ///< CURLOPT_PROTOCOLS_STR and CURLOPT_REDIR_PROTOCOLS_STR (libcurl 7.85 on)
  kBitMasks,  ///< CURLOPT_PROTOCOLS and CURLOPT_REDIR_PROTOCOLS, the forms before them
  kNone,      ///< neither form can be set: no transfer may run
};

/// The entry points of libcurl that transfers use. libcurl and the dozens of libraries it
/// brings (TLS, HTTP/2, Kerberos, ...) are loaded on the first download, not at start-up: most
/// runs never download, and for them start-up time is what the user waits for.
struct CurlLibrary {
  CURLcode (*globalInit)(long flags);
  CURL* (*easyInit)();
  CURLcode (*easySetopt)(CURL* easy, CURLoption option, ...);
  CURLcode (*easyGetinfo)(CURL* easy, CURLINFO info, ...);
  void (*easyCleanup)(CURL* easy);
  const char* (*easyStrerror)(CURLcode code);
  CURLM* (*multiInit)();
  CURLMcode (*multiAddHandle)(CURLM* multi, CURL* easy);
  CURLMcode (*multiRemoveHandle)(CURLM* multi, CURL* easy);
  CURLMcode (*multiPerform)(CURLM* multi, int* running);
  CURLMcode (*multiWait)(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
                         int* ready);
  /// Both null where libcurl is older than 7.68: a transfer then waits with multiWait and is
  /// woken through a descriptor of its own.
  CURLMcode (*multiPoll)(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
                         int* ready);
  CURLMcode (*multiWakeup)(CURLM* multi);
  CURLMsg* (*multiInfoRead)(CURLM* multi, int* queued);
  CURLMcode (*multiCleanup)(CURLM* multi);
  const char* (*multiStrerror)(CURLMcode code);
  curl_slist* (*slistAppend)(curl_slist* list, const char* line);
  void (*slistFreeAll)(curl_slist* list);
  /// Asked of libcurl once, when it is loaded (chooseProtocolRule), so that transfers see what
  /// it can do and never its version.
  ProtocolRule protocolRule = ProtocolRule::kNone;
  /// libcurl's reason when the rule is kNone.
  std::string protocolRuleError;
  /// libcurl's reason when its TLS library cannot take a directory of certificates
  /// (CURLOPT_CAPATH); empty when it can.
  std::string caPathError;
};

/// libcurl (7.61 or newer), loaded and initialised once per process, on first use, from any
/// thread. Null when it cannot be loaded; `error` then says why.
const CurlLibrary* curlLibrary(std::string& error);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_LIBRARY_H_
