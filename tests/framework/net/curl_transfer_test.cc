#include "framework/net/curl_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/net/curl_library.h"
#include "framework/net/curl_protocols.h"
#include "support/servers.h"

using namespace testing_support;
using namespace std::chrono_literals;
using fw::ProtocolRule;

namespace {

const fw::CurlLibrary& loaded() {
  std::string error;
  return *fw::curlLibrary(error);
}

// What older libcurls answer to the protocol options: before 7.85 those by name are unknown;
// the last knows neither form.
CURLcode namesUnknown(CURL*, CURLoption option, ...) {
  const bool byName =
      option == fw::kProtocolNamesOption || option == fw::kRedirectProtocolNamesOption;
  return byName ? CURLE_UNKNOWN_OPTION : CURLE_OK;
}
CURLcode noneKnown(CURL*, CURLoption, ...) {
  return CURLE_UNKNOWN_OPTION;
}

// A handle that trusts the test's own certificate, named by BI_TEST_CA.
CURL* easyInitTrustingTheTest() {
  CURL* easy = loaded().easyInit();
  loaded().easySetopt(easy, CURLOPT_CAINFO, std::getenv("BI_TEST_CA"));
  return easy;
}

}  // namespace

// Tests that on a libcurl without the options and calls that transfers prefer, the forms chosen
// instead keep the rules: http and https only, never from https down to http, a cancel from
// another thread ending the wait at once; and that without either form no transfer runs.
TEST(CurlTransferTest, OlderLibcurlsKeepTheRules) {
  ScopedTempDir dir;
  ASSERT_EQ(0, runShell("cd " + dir.path() +
                        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -days 1"
                        " -out cert.pem -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                        " 2>/dev/null"));
  const ScopedEnv trusted("BI_TEST_CA", dir / "cert.pem");
  writeFile(dir / "archive", std::string(100000, 'a'));
  Endpoint stalling(dir / "archive", {"--stall-after", "1000"});
  Endpoint tls(dir / "archive", {"--tls-cert", dir / "cert.pem", "--tls-key", dir / "key.pem",
                                 "--redirect-to", stalling.url()});
  const std::string unrestricted = "cannot restrict the transfer to http and https: " +
                                   std::string(loaded().easyStrerror(CURLE_UNKNOWN_OPTION));
  fw::UrlSessionConfiguration configuration;
  configuration.followsHttpsToHttp = false;
  // clang-format off
  const std::tuple<decltype(&noneKnown), bool, ProtocolRule, std::string> rows[] = {  // answers, no wakeup, rule, failure
      {loaded().easySetopt, false, ProtocolRule::kNames, ""},
      {namesUnknown, true, ProtocolRule::kBitMasks, ""}, {noneKnown, true, ProtocolRule::kNone, unrestricted}};
  // clang-format on
  for (const auto& [answers, noWakeup, rule, failure] : rows) {
    fw::CurlLibrary curl = loaded();
    curl.easySetopt = answers;
    curl.multiPoll = noWakeup ? nullptr : curl.multiPoll;
    curl.multiWakeup = noWakeup ? nullptr : curl.multiWakeup;
    curl.protocolRule = fw::chooseProtocolRule(curl, curl.protocolRuleError);
    EXPECT_EQ(rule, curl.protocolRule);
    curl.easySetopt = loaded().easySetopt;
    curl.easyInit = easyInitTrustingTheTest;

    // The stalling server's first bytes come; then another thread cancels during the wait.
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::function<void()> waker;
    std::thread canceller;
    fw::CurlTransferHooks hooks;
    hooks.isCancelled = [&] { return cancelled.load(); };
    hooks.setWaker = [&](std::function<void()> next) {
      const std::lock_guard<std::mutex> lock(mutex);
      waker = std::move(next);
    };
    hooks.storeBody = [](std::string_view) { return 0; };
    hooks.onData = [&](int64_t, int64_t, int64_t) {
      canceller = std::thread([&] {
        std::this_thread::sleep_for(100ms);
        cancelled = true;
        const std::lock_guard<std::mutex> lock(mutex);
        waker();
      });
      return true;
    };
    for (const std::string& url : {tls.url(), stalling.url()}) {
      fw::HttpResponse response;
      const auto start = std::chrono::steady_clock::now();
      const auto error = fw::runCurlTransfer(curl, url, {}, configuration, response, hooks);
      const bool refused = url == tls.url() || !failure.empty();
      ASSERT_TRUE(error) << url;
      EXPECT_EQ(
          refused ? failure.empty() ? "redirect away from https refused" : failure : "cancelled",
          error->localizedDescription);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms);  // not the wait's 1 s
    }
    if (canceller.joinable()) {
      canceller.join();
    }
    EXPECT_EQ(failure.empty(), cancelled.load());
  }
}
