#include "framework/net/curl_library.h"

#include <dlfcn.h>

#include <mutex>

#include "framework/net/curl_protocols.h"

namespace fw {

namespace {

struct Loaded {
  CurlLibrary library{};
  bool ok = false;
  std::string error;
};

template <typename Function>
bool bind(void* handle, const char* name, Function& function, std::string& error) {
  void* symbol = ::dlsym(handle, name);
  if (symbol == nullptr) {
    error = std::string("libcurl lacks ") + name;
    return false;
  }
  function = reinterpret_cast<Function>(symbol);
  return true;
}

// Binds both of a pair of entry points that libcurl added together, or neither.
template <typename First, typename Second>
void bindBoth(void* handle, const char* firstName, First& first, const char* secondName,
              Second& second) {
  std::string ignored;
  if (!bind(handle, firstName, first, ignored) || !bind(handle, secondName, second, ignored)) {
    first = nullptr;
    second = nullptr;
  }
}

// Whether this libcurl's TLS library takes a directory of certificates: libcurl's reason if not.
std::string caPathSupport(const CurlLibrary& curl) {
  CURL* easy = curl.easyInit();
  if (easy == nullptr) {
    return "curl_easy_init failed";
  }
  const CURLcode code = curl.easySetopt(easy, CURLOPT_CAPATH, "/");
  curl.easyCleanup(easy);
  return code == CURLE_OK ? "" : curl.easyStrerror(code);
}

Loaded load() {
  Loaded loaded;
  // The library stays loaded until the process ends: transfers may run until then. Some
  // systems carry only the GnuTLS build, which has the same interface.
  void* handle = nullptr;
  std::string reasons;
  for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4"}) {
    // Lazy, as the loader binds the curl tool: the entry points used are checked below.
    handle = ::dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (handle != nullptr) {
      break;
    }
    const char* reason = ::dlerror();
    reasons += (reasons.empty() ? "" : "; ") + std::string(reason != nullptr ? reason : name);
  }
  if (handle == nullptr) {
    loaded.error = "cannot load libcurl: " + reasons;
    return loaded;
  }
  CurlLibrary& l = loaded.library;
  std::string& e = loaded.error;
  loaded.ok = bind(handle, "curl_global_init", l.globalInit, e) &&
              bind(handle, "curl_easy_init", l.easyInit, e) &&
              bind(handle, "curl_easy_setopt", l.easySetopt, e) &&
              bind(handle, "curl_easy_getinfo", l.easyGetinfo, e) &&
              bind(handle, "curl_easy_cleanup", l.easyCleanup, e) &&
              bind(handle, "curl_easy_strerror", l.easyStrerror, e) &&
              bind(handle, "curl_multi_init", l.multiInit, e) &&
              bind(handle, "curl_multi_add_handle", l.multiAddHandle, e) &&
              bind(handle, "curl_multi_remove_handle", l.multiRemoveHandle, e) &&
              bind(handle, "curl_multi_perform", l.multiPerform, e) &&
              bind(handle, "curl_multi_wait", l.multiWait, e) &&
              bind(handle, "curl_multi_info_read", l.multiInfoRead, e) &&
              bind(handle, "curl_multi_cleanup", l.multiCleanup, e) &&
              bind(handle, "curl_multi_strerror", l.multiStrerror, e) &&
              bind(handle, "curl_slist_append", l.slistAppend, e) &&
              bind(handle, "curl_slist_free_all", l.slistFreeAll, e);
  if (loaded.ok && l.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    loaded.ok = false;
    e = "cannot initialise libcurl";
  }
  if (loaded.ok) {
    // What older libcurls lack (curl_multi_poll 7.66, curl_multi_wakeup 7.68, the protocol
    // options by name 7.85) is decided here, once: transfers see only what can be done.
    bindBoth(handle, "curl_multi_poll", l.multiPoll, "curl_multi_wakeup", l.multiWakeup);
    l.protocolRule = chooseProtocolRule(l, l.protocolRuleError);
    l.caPathError = caPathSupport(l);
  }
  return loaded;
}

}  // namespace

const CurlLibrary* curlLibrary(std::string& error) {
  static std::once_flag once;
  static Loaded loaded;
  std::call_once(once, [] { loaded = load(); });
  if (!loaded.ok) {
    error = loaded.error;
    return nullptr;
  }
  return &loaded.library;
}

}  // namespace fw
