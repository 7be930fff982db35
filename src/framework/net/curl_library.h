#ifndef SRC_FRAMEWORK_NET_CURL_LIBRARY_H_
#define SRC_FRAMEWORK_NET_CURL_LIBRARY_H_

#include <curl/curl.h>

#include <string>

namespace fw {

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
  CURLMcode (*multiPoll)(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
                         int* ready);
  CURLMcode (*multiWakeup)(CURLM* multi);
  CURLMsg* (*multiInfoRead)(CURLM* multi, int* queued);
  CURLMcode (*multiCleanup)(CURLM* multi);
  const char* (*multiStrerror)(CURLMcode code);
  curl_slist* (*slistAppend)(curl_slist* list, const char* line);
  void (*slistFreeAll)(curl_slist* list);
};

/// libcurl, loaded and initialised once per process, on first use, from any thread. Null when
/// it cannot be loaded; `error` then says why.
const CurlLibrary* curlLibrary(std::string& error);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_LIBRARY_H_
