// The two threads of the download window under stress, the way the controller uses them: the
// session's worker hands window work to the main loop and waits for it, while the main thread
// cancels the transfer and ends the loop at arbitrary moments. Run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "framework/loop/poll_run_loop.h"
#include "framework/net/url_session.h"
#include "support/endpoint_server.h"
#include "support/files.h"
#include "support/scoped_temp_dir.h"

using namespace testing_support;

namespace {

class WindowLikeDelegate : public fw::UrlSessionDownloadDelegate {
 public:
  explicit WindowLikeDelegate(fw::RunLoop& loop) : loop_(loop) {}

  void didWriteData(fw::DownloadTask& /*task*/, int64_t bytes, int64_t /*total*/,
                    int64_t /*expected*/) override {
    loop_.runSync([&] { shownBytes_ += bytes; });  // main-thread state, touched on the main thread
  }
  void didFinishDownloadingTo(fw::DownloadTask& /*task*/, const std::string& location) override {
    finishedWithFile_ = exists(location);
    loop_.runSync([&] { loop_.stop(); });
  }
  void didCompleteWithError(fw::DownloadTask& /*task*/, const fw::UrlError* error) override {
    if (error != nullptr && error->code != fw::UrlError::Code::kCancelled) {
      loop_.runSync([&] { loop_.stop(); });
    }
  }

  int64_t shownBytes() const { return shownBytes_; }
  bool finishedWithFile() const { return finishedWithFile_.load(); }

 private:
  fw::RunLoop& loop_;
  int64_t shownBytes_ = 0;  // main thread only
  std::atomic<bool> finishedWithFile_{true};
};

}  // namespace

TEST(SessionAndLoopStressTest, CancelAndStopAtArbitraryMoments) {
  ScopedTempDir dir;
  writeFile(dir / "body", std::string(2 * 1024 * 1024, 'x'));
  EndpointServer server(dir / "body", {"--rate", "20000000"});
  std::mt19937 random(42);
  std::uniform_real_distribution<double> delay(0.0, 0.12);
  for (int round = 0; round < 60; ++round) {
    fw::PollRunLoop loop;
    WindowLikeDelegate delegate(loop);
    {
      fw::UrlSession session({}, &delegate);
      auto task = session.downloadTaskWithURL(server.url("/body"));
      task->resume();
      // The window closes: cancel, invalidate, stop — as the controller does.
      loop.addTimer(delay(random), [&] {
        task->cancel();
        session.invalidateAndCancel();
        loop.stop();
      });
      loop.run();
    }  // the session ends here, on the main thread, after the loop: it must not hang
    EXPECT_LE(delegate.shownBytes(), 2 * 1024 * 1024);
    EXPECT_TRUE(delegate.finishedWithFile());
  }
}
