#include "framework/net/url_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

#include "support/endpoint_server.h"
#include "support/files.h"
#include "support/scoped_temp_dir.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

// Records every callback; optional hooks act inside them, as the download controller does.
class RecordingDelegate : public fw::UrlSessionDownloadDelegate {
 public:
  void didWriteData(fw::DownloadTask& task, int64_t bytes, int64_t total,
                    int64_t expected) override {
    noteThread();
    std::unique_lock<std::mutex> lock(mutex_);
    reports.push_back(bytes);
    lastTotal = total;
    lastExpected = expected;
    if (reports.size() == 1) {
      firstStatus = task.response().statusCode;
      lock.unlock();
      if (onFirstData) {
        onFirstData(task);
      }
    }
    changed_.notify_all();
  }

  void didFinishDownloadingTo(fw::DownloadTask& task, const std::string& location) override {
    noteThread();
    const std::lock_guard<std::mutex> lock(mutex_);
    finishedPath = location;
    finishedContent = readFile(location);
    finishedStatus = task.response().statusCode;
    finishedResponse = task.response();
  }

  void didCompleteWithError(fw::DownloadTask& /*task*/, const fw::UrlError* urlError) override {
    noteThread();
    const std::lock_guard<std::mutex> lock(mutex_);
    completed = true;
    if (urlError != nullptr) {
      error = *urlError;
    }
    changed_.notify_all();
  }

  bool waitForCompletion(std::chrono::seconds timeout = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return completed; });
  }

  bool waitForFirstData() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return !reports.empty() || completed; });
  }

  int64_t reportedBytes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::accumulate(reports.begin(), reports.end(), int64_t{0});
  }

  std::function<void(fw::DownloadTask&)> onFirstData;
  std::vector<int64_t> reports;
  int64_t lastTotal = 0;
  int64_t lastExpected = 0;
  long firstStatus = 0;
  std::string finishedPath;
  std::string finishedContent;
  long finishedStatus = 0;
  fw::HttpResponse finishedResponse;
  bool completed = false;
  std::optional<fw::UrlError> error;
  std::vector<std::thread::id> threads;

 private:
  void noteThread() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end()) {
      threads.push_back(std::this_thread::get_id());
    }
  }
  std::mutex mutex_;
  std::condition_variable changed_;
};

class UrlSessionTest : public testing::Test {
 protected:
  UrlSessionTest() {
    archive_ = dir_ / "archive.bin";
    std::string content;
    for (int i = 0; i < 300000; ++i) {
      content += static_cast<char>('a' + i % 26);
    }
    writeFile(archive_, content);
  }

  ScopedTempDir dir_;
  std::string archive_;
};

}  // namespace

TEST_F(UrlSessionTest, BodyGoesToAFileThatIsRemovedAfterTheFinish) {
  EndpointServer server(archive_);
  RecordingDelegate delegate;
  {
    fw::UrlSession session(fw::UrlSessionConfiguration::defaultSessionConfiguration(), &delegate);
    session.downloadTaskWithURL(server.url("/a.bin"))->resume();
    ASSERT_TRUE(delegate.waitForCompletion());
  }
  EXPECT_FALSE(delegate.error) << delegate.error->localizedDescription;
  EXPECT_EQ(readFile(archive_), delegate.finishedContent);
  EXPECT_FALSE(exists(delegate.finishedPath));
  EXPECT_EQ(300000, delegate.reportedBytes());
  EXPECT_EQ(300000, delegate.lastTotal);
  EXPECT_EQ(300000, delegate.lastExpected);
  EXPECT_EQ(200, delegate.firstStatus);
  EXPECT_TRUE(delegate.finishedResponse.valueForHeaderField("etag"));
  ASSERT_EQ(1u, delegate.threads.size());  // one serial delegate queue
  EXPECT_NE(std::this_thread::get_id(), delegate.threads[0]);
}

TEST_F(UrlSessionTest, TheResponseIsTheOneAfterRedirects) {
  EndpointServer server(archive_, {"--no-length"});
  RecordingDelegate delegate;
  fw::UrlSession session({}, &delegate);
  session.downloadTaskWithURL(server.url("/redirect/3/a.bin"))->resume();
  ASSERT_TRUE(delegate.waitForCompletion());
  EXPECT_FALSE(delegate.error);
  EXPECT_EQ(200, delegate.finishedStatus);
  EXPECT_EQ(-1, delegate.lastExpected);
  EXPECT_FALSE(delegate.finishedResponse.valueForHeaderField("Location"));
  EXPECT_EQ(readFile(archive_), delegate.finishedContent);
}

TEST_F(UrlSessionTest, ErrorStatusBodiesFinishLikeAnyOther) {
  EndpointServer server(archive_, {"--status", "404"});
  RecordingDelegate delegate;
  fw::UrlSession session({}, &delegate);
  session.downloadTaskWithURL(server.url("/a.bin"))->resume();
  ASSERT_TRUE(delegate.waitForCompletion());
  EXPECT_FALSE(delegate.error);
  EXPECT_EQ(404, delegate.firstStatus);
  EXPECT_EQ(404, delegate.finishedStatus);
}

// Tests that a cancel at the first data ends the transfer there: at most one buffer is read.
TEST_F(UrlSessionTest, CancelAtTheFirstDataReadsOneBuffer) {
  std::string big(32 * 1024 * 1024, 'x');
  writeFile(archive_, big);
  EndpointServer server(archive_);
  RecordingDelegate delegate;
  delegate.onFirstData = [](fw::DownloadTask& task) { task.cancel(); };
  fw::UrlSessionConfiguration configuration;
  fw::UrlSession session(configuration, &delegate);
  session.downloadTaskWithURL(server.url("/a.bin"))->resume();
  ASSERT_TRUE(delegate.waitForCompletion());
  ASSERT_TRUE(delegate.error);
  EXPECT_EQ(fw::UrlError::Code::kCancelled, delegate.error->code);
  EXPECT_EQ(1u, delegate.reports.size());
  EXPECT_LE(delegate.reportedBytes(), static_cast<int64_t>(configuration.receiveBufferSize));
  EXPECT_TRUE(delegate.finishedPath.empty());
}

TEST_F(UrlSessionTest, CancelFromAnotherThreadEndsPromptly) {
  EndpointServer server(archive_, {"--rate", "10000"});
  RecordingDelegate delegate;
  fw::UrlSession session({}, &delegate);
  auto task = session.downloadTaskWithURL(server.url("/a.bin"));
  task->resume();
  ASSERT_TRUE(delegate.waitForFirstData());
  const auto start = Clock::now();
  task->cancel();
  ASSERT_TRUE(delegate.waitForCompletion());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  ASSERT_TRUE(delegate.error);
  EXPECT_EQ(fw::UrlError::Code::kCancelled, delegate.error->code);
  EXPECT_TRUE(delegate.finishedPath.empty());
}

// Tests that after invalidateAndCancel() returns, the delegate hears nothing more, and that
// destroying the session does not wait for the slow transfer.
TEST_F(UrlSessionTest, InvalidateSilencesTheDelegate) {
  EndpointServer server(archive_, {"--rate", "10000"});
  RecordingDelegate delegate;
  const auto start = Clock::now();
  {
    fw::UrlSession session({}, &delegate);
    session.downloadTaskWithURL(server.url("/a.bin"))->resume();
    ASSERT_TRUE(delegate.waitForFirstData());
    session.invalidateAndCancel();
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(delegate.completed);
  EXPECT_TRUE(delegate.finishedPath.empty());
}

TEST_F(UrlSessionTest, StalledTransferTimesOut) {
  EndpointServer server(archive_, {"--stall-after", "1000"});
  RecordingDelegate delegate;
  fw::UrlSessionConfiguration configuration;
  configuration.stallTimeout = std::chrono::milliseconds(400);
  fw::UrlSession session(configuration, &delegate);
  const auto start = Clock::now();
  session.downloadTaskWithURL(server.url("/a.bin"))->resume();
  ASSERT_TRUE(delegate.waitForCompletion());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(delegate.error);
  EXPECT_EQ(fw::UrlError::Code::kTimedOut, delegate.error->code);
  EXPECT_EQ(server.url("/a.bin"), delegate.error->failingUrl);
  EXPECT_TRUE(delegate.finishedPath.empty());
}

TEST_F(UrlSessionTest, BrokenTransfersFailWithTheirCause) {
  struct Case {
    std::vector<std::string> serverArgs;
    fw::UrlError::Code expected;
  };
  for (const Case& c : {Case{{"--cut-after", "5000"}, fw::UrlError::Code::kNetworkLost},
                        Case{{"--announce-extra", "10"}, fw::UrlError::Code::kNetworkLost}}) {
    SCOPED_TRACE(c.serverArgs[0]);
    EndpointServer server(archive_, c.serverArgs);
    RecordingDelegate delegate;
    fw::UrlSession session({}, &delegate);
    session.downloadTaskWithURL(server.url("/a.bin"))->resume();
    ASSERT_TRUE(delegate.waitForCompletion());
    ASSERT_TRUE(delegate.error);
    EXPECT_EQ(c.expected, delegate.error->code) << delegate.error->localizedDescription;
    EXPECT_FALSE(delegate.error->localizedDescription.empty());
    EXPECT_TRUE(delegate.finishedPath.empty());
  }
}

TEST_F(UrlSessionTest, UrlsThatCannotBeFetched) {
  int closedPort = 0;
  {
    EndpointServer server(archive_);
    closedPort = server.port();
  }
  struct Case {
    std::string url;
    fw::UrlError::Code expected;
  };
  for (const Case& c :
       {Case{"http://127.0.0.1:" + std::to_string(closedPort) + "/a",
             fw::UrlError::Code::kCannotConnect},
        Case{"", fw::UrlError::Code::kBadUrl}, Case{"not a url", fw::UrlError::Code::kBadUrl},
        Case{"file:///etc/passwd", fw::UrlError::Code::kBadUrl},
        Case{"http://127.0.0.1:" + std::to_string(closedPort) + "/a\r",
             fw::UrlError::Code::kBadUrl}}) {
    SCOPED_TRACE(c.url);
    RecordingDelegate delegate;
    fw::UrlSession session({}, &delegate);
    session.downloadTaskWithURL(c.url)->resume();
    ASSERT_TRUE(delegate.waitForCompletion());
    ASSERT_TRUE(delegate.error);
    EXPECT_EQ(c.expected, delegate.error->code) << delegate.error->localizedDescription;
    EXPECT_TRUE(delegate.reports.empty());
  }
}

// Tests that a request header line cannot smuggle another header in.
TEST_F(UrlSessionTest, HeaderLinesWithLineBreaksAreLeftOut) {
  EndpointServer server(archive_);
  RecordingDelegate delegate;
  fw::UrlSession session({}, &delegate);
  session
      .downloadTaskWithURL(server.url("/a.bin"),
                           {"If-None-Match: \"x\"\r\nX-Injected: 1", "X-Fine: yes"})
      ->resume();
  ASSERT_TRUE(delegate.waitForCompletion());
  const auto log = server.waitForLogLines(1);
  EXPECT_EQ("-", log[0].inm);
  EXPECT_EQ(200, log[0].status);
}

TEST_F(UrlSessionTest, IfNoneMatchGivesANotModifiedAnswerWithoutBody) {
  EndpointServer server(archive_);
  RecordingDelegate first;
  {
    fw::UrlSession session({}, &first);
    session.downloadTaskWithURL(server.url("/a.bin"))->resume();
    ASSERT_TRUE(first.waitForCompletion());
  }
  const std::string tag = *first.finishedResponse.valueForHeaderField("ETag");
  RecordingDelegate second;
  fw::UrlSession session({}, &second);
  session.downloadTaskWithURL(server.url("/a.bin"), {"If-None-Match: " + tag})->resume();
  ASSERT_TRUE(second.waitForCompletion());
  EXPECT_FALSE(second.error);
  EXPECT_EQ(304, second.finishedStatus);
  EXPECT_TRUE(second.reports.empty());
  EXPECT_EQ("", second.finishedContent);
}
