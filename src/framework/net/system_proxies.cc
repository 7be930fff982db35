#include "framework/net/system_proxies.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace fw {

namespace {

// libproxy's interface, the same from 0.4 to 0.5; declared here so that building needs no
// libproxy of its own.
struct ProxyFactory;
using FactoryNew = ProxyFactory* (*)();
using GetProxies = char** (*)(ProxyFactory*, const char*);
using FreeProxies = void (*)(char**);

struct Libproxy {
  ProxyFactory* factory = nullptr;
  GetProxies getProxies = nullptr;
  FreeProxies freeProxies = nullptr;  // null before 0.4.16: each string and the array are free()d
  std::string error;
  std::mutex mutex;  // one question at a time: its plugins keep state between them
};

Libproxy& loaded() {
  static Libproxy libproxy;
  static std::once_flag once;
  std::call_once(once, [] {
    // Loaded for the rest of the process: its plugins start helpers that the factory ends.
    void* handle = ::dlopen("libproxy.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      libproxy.error = "cannot load libproxy: " + std::string(reason != nullptr ? reason : "");
      return;
    }
    const auto factoryNew = reinterpret_cast<FactoryNew>(::dlsym(handle, "px_proxy_factory_new"));
    libproxy.getProxies =
        reinterpret_cast<GetProxies>(::dlsym(handle, "px_proxy_factory_get_proxies"));
    libproxy.freeProxies =
        reinterpret_cast<FreeProxies>(::dlsym(handle, "px_proxy_factory_free_proxies"));
    if (factoryNew == nullptr || libproxy.getProxies == nullptr) {
      libproxy.error = "libproxy lacks px_proxy_factory_new or px_proxy_factory_get_proxies";
      return;
    }
    libproxy.factory = factoryNew();
    if (libproxy.factory == nullptr) {
      libproxy.error = "libproxy cannot make its proxy factory";
    }
  });
  return libproxy;
}

}  // namespace

std::optional<std::string> curlProxyOf(const std::string& libproxyEntry) {
  const size_t colon = libproxyEntry.find("://");
  const std::string scheme = libproxyEntry.substr(0, colon);
  if (colon == std::string::npos) {
    return std::nullopt;
  }
  if (scheme == "direct") {
    return "";
  }
  if (scheme == "socks") {
    return "socks5" + libproxyEntry.substr(colon);
  }
  for (const char* known : {"http", "https", "socks4", "socks4a", "socks5", "socks5h"}) {
    if (scheme == known) {
      return libproxyEntry;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> systemProxiesFor(const std::string& url,
                                                         std::string& error) {
  Libproxy& libproxy = loaded();
  if (libproxy.factory == nullptr) {
    error = libproxy.error;
    return std::nullopt;
  }
  std::vector<std::string> proxies;
  const std::lock_guard<std::mutex> lock(libproxy.mutex);
  char** answer = libproxy.getProxies(libproxy.factory, url.c_str());
  if (answer == nullptr) {
    error = "libproxy gives no proxies for the URL";
    return std::nullopt;
  }
  for (char** entry = answer; *entry != nullptr; ++entry) {
    if (const auto proxy = curlProxyOf(*entry)) {
      proxies.push_back(*proxy);
    }
    if (libproxy.freeProxies == nullptr) {
      std::free(*entry);
    }
  }
  if (libproxy.freeProxies != nullptr) {
    libproxy.freeProxies(answer);
  } else {
    std::free(answer);
  }
  if (proxies.empty()) {
    error = "libproxy gives no proxy that can be used";
    return std::nullopt;
  }
  return proxies;
}

bool inDesktopSession() {
  const char* const names[] = {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID",
                               "KDE_FULL_SESSION"};
  return std::ranges::any_of(names, [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  });
}

void prepareSystemProxies() {
  // Detached: nothing waits for it but the first question, through the once.
  std::thread([] { loaded(); }).detach();
}

}  // namespace fw
