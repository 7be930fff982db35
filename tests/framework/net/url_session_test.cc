#include "framework/net/url_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/loop/poll_run_loop.h"
#include "framework/net/curl_library.h"
#include "framework/net/curl_protocols.h"
#include "support/servers.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// Records the callbacks, and lets `onData` act in them as the download controller does. The
// fields other than the atomic ones are read once the task or the session has ended.
class Recorder : public fw::UrlSessionDownloadDelegate {
 public:
  void didWriteData(fw::DownloadTask& task, int64_t, int64_t, int64_t) override {
    if (onData) {
      onData(task);
    }
  }
  void didFinishDownloadingTo(fw::DownloadTask& task, const std::string& location) override {
    path = location;
    body = readFile(location);
    response = task.response();
  }
  void didCompleteWithError(fw::DownloadTask&, const fw::UrlError* urlError) override {
    error = urlError != nullptr ? std::optional(*urlError) : std::nullopt;
    completed = true;
  }
  bool waitFor() {
    return waitUntil([&] { return completed.load(); });
  }

  std::function<void(fw::DownloadTask&)> onData;
  std::atomic<bool> completed{false};
  std::string path, body;
  fw::HttpResponse response;
  std::optional<fw::UrlError> error;
};

// What older libcurls answer to the protocol options: those by name are unknown before 7.85;
// then the bit masks (or, for the last row, nothing either).
template <bool kKnowsBitMasks>
CURLcode olderAnswers(CURL*, CURLoption option, ...) {
  const bool masks = option == fw::kProtocolsOption || option == fw::kRedirectProtocolsOption;
  return kKnowsBitMasks && masks ? CURLE_OK : CURLE_UNKNOWN_OPTION;
}

class UrlSessionTest : public testing::Test {
 protected:
  UrlSessionTest() { writeFile(archive_, std::string(300000, 'a') + "end"); }
  // Downloads the URL in a session of its own and waits for the end.
  void fetch(Recorder& recorder, const std::string& url,
             const fw::UrlSessionConfiguration& configuration = {},
             const std::vector<std::string>& headers = {}, const fw::CurlLibrary* curl = nullptr) {
    fw::UrlSession session(configuration, &recorder, curl);
    session.downloadTaskWithURL(url, headers)->resume();
    EXPECT_TRUE(recorder.waitFor());
  }

  ScopedTempDir dir_;
  const std::string archive_ = dir_ / "archive.bin";
};

}  // namespace

// Tests that the final response's body, after as many redirects as allowed, reaches the delegate
// in a file without a name in the temporary-files directory, gone after the finish.
TEST_F(UrlSessionTest, BodyGoesToAFileThatIsRemovedAfterTheFinish) {
  Endpoint server(archive_);
  const std::string tag = server.tag();
  const ScopedEnv tmpdir("TMPDIR", dir_.path());
  fw::UrlSessionConfiguration configuration;
  configuration.maxRedirects = 2;
  // clang-format off
  const std::tuple<int, std::vector<std::string>, long> rows[] = {  // redirects, headers, status (0: failed)
      {0, {}, 200}, {2, {}, 200}, {3, {}, 0}, {2, {"If-None-Match: " + tag}, 304},
      {0, {"If-None-Match: " + tag + "\r\nX: 1", "If-None-Match: " + tag + std::string(1, '\0')}, 200}};  // left out
  // clang-format on
  for (const auto& [hops, headers, status] : rows) {
    Recorder recorder;
    fetch(recorder, server.url("/redirect/" + std::to_string(hops) + "/a"), configuration, headers);
    EXPECT_EQ(status == 0, recorder.error.has_value()) << hops << " redirects, status " << status;
    EXPECT_EQ(status, recorder.response.statusCode);
    EXPECT_EQ(status == 200 ? readFile(archive_) : "", recorder.body);
    EXPECT_EQ(status == 0 ? std::nullopt : std::optional(tag),
              recorder.response.valueForHeaderField("ETag"));
    EXPECT_EQ(status != 0, recorder.path.starts_with("/dev/fd/")) << recorder.path;  // unnamed
  }
  EXPECT_EQ(std::vector<std::string>{"archive.bin"}, listDir(dir_.path()));
}

// The two threads of the download window under stress, as the controller uses them: the
// session's worker hands window work to the main loop and waits for it, while the main thread
// cancels the transfer and ends the loop at arbitrary moments. Run under ThreadSanitizer too.
TEST_F(UrlSessionTest, CancelAndStopAtArbitraryMoments) {
  writeFile(archive_, std::string(2 * 1024 * 1024, 'x'));
  Endpoint server(archive_, {"--rate", "20000000"});
  for (int round = 0; round < 20; ++round) {
    fw::PollRunLoop loop;
    Recorder recorder;
    recorder.onData = [&](fw::DownloadTask&) { loop.runSync([] {}); };
    fw::UrlSession session({}, &recorder);
    auto task = session.downloadTaskWithURL(server.url());
    task->resume();
    loop.addTimer(0.006 * round, [&] {  // from the start to beyond the end of the body
      task->cancel();
      session.invalidateAndCancel();
      loop.stop();
    });
    loop.run();
    session.invalidateAndWait();  // on the main thread, after the loop: it must not hang
    EXPECT_TRUE(recorder.path.empty() || recorder.body.size() == 2 * 1024 * 1024);
  }
}

// Tests that on a libcurl without the options and calls that transfers prefer, the forms chosen
// instead keep the rules (the redirect from https to http is refused by Debian 11's libcurl, in
// the roots' table): a cancel from another thread ends the wait at once (unwoken, it lasts until
// 1.2 s); and that without either form nothing is fetched.
TEST_F(UrlSessionTest, OlderLibcurlsKeepTheRules) {
  Endpoint stalling(archive_, {"--stall-after", "1000"});
  std::string loadError;
  const fw::CurlLibrary loaded = *fw::curlLibrary(loadError);
  using Rule = fw::ProtocolRule;
  const std::pair<decltype(&olderAnswers<true>), Rule> rows[] = {
      // the answers, the rule chosen
      {loaded.easySetopt, Rule::kNames},
      {olderAnswers<true>, Rule::kBitMasks},  // and no curl_multi_poll or curl_multi_wakeup
      {olderAnswers<false>, Rule::kNone}};
  for (const auto& [answers, rule] : rows) {
    fw::CurlLibrary curl = loaded;
    curl.easySetopt = answers;
    curl.multiPoll = rule == Rule::kNames ? curl.multiPoll : nullptr;
    curl.multiWakeup = rule == Rule::kNames ? curl.multiWakeup : nullptr;
    curl.protocolRule = fw::chooseProtocolRule(curl, curl.protocolRuleError);
    EXPECT_EQ(rule, curl.protocolRule);
    curl.easySetopt = loaded.easySetopt;
    Recorder recorder;
    std::jthread canceller;
    recorder.onData = [&](fw::DownloadTask& task) {  // the first bytes before the stall
      canceller = std::jthread([task = task.shared_from_this()] {
        std::this_thread::sleep_for(300ms);
        task->cancel();
      });
    };
    const auto start = std::chrono::steady_clock::now();
    fetch(recorder, stalling.url(), {}, {}, &curl);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_EQ(rule == Rule::kNone ? "cannot restrict the transfer to http and https: An unknown "
                                    "option was passed in to libcurl"
                                  : "cancelled",
              recorder.error ? recorder.error->localizedDescription : "");
  }
}
