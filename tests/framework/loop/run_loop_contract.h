#ifndef TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
#define TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_

// What every fw::RunLoop must do, whatever drives it: a typed suite, instantiated once per loop
// (poll_run_loop_test.cc, gtk/gtk_run_loop_test.cc).

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "support/process.h"

template <typename Loop>
class RunLoopContractTest : public testing::Test {
 protected:
  RunLoopContractTest() { EXPECT_EQ(0, ::pipe(fds_)); }
  ~RunLoopContractTest() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  Loop loop_;
  int fds_[2] = {-1, -1};  // a pipe
};

TYPED_TEST_SUITE_P(RunLoopContractTest);

// Tests that work handed over from another thread runs on the loop's thread, in order, and that
// its sender waits until it has run.
TYPED_TEST_P(RunLoopContractTest, RunSyncRunsOnTheMainThreadAndWaits) {
  std::vector<std::thread::id> ran;
  auto sender = std::async(std::launch::async, [&] {
    for (size_t i = 1; i <= 100; ++i) {
      EXPECT_TRUE(this->loop_.runSync([&] { ran.push_back(std::this_thread::get_id()); }));
      EXPECT_EQ(i, ran.size());  // it ran before runSync returned
    }
    this->loop_.stop();
  });
  this->loop_.run();
  sender.get();
  EXPECT_EQ(std::vector(100, std::this_thread::get_id()), ran);
}

TYPED_TEST_P(RunLoopContractTest, WorkHandedOverAfterTheEndIsRefusedAtOnce) {
  this->loop_.stop();
  this->loop_.run();
  bool ran = false;
  EXPECT_FALSE(std::async(std::launch::async, [&] {
                 return this->loop_.runSync([&] { ran = true; });
               }).get());
  EXPECT_FALSE(ran);
}

// Tests that senders waiting while the loop stops are released, not left hanging.
TYPED_TEST_P(RunLoopContractTest, StoppingReleasesWaitingSenders) {
  for (int round = 0; round < 20; ++round) {
    TypeParam loop;
    std::atomic<int> refused{0};
    std::vector<std::future<void>> senders;
    for (int i = 0; i < 4; ++i) {
      senders.push_back(std::async(std::launch::async, [&] {
        for (int j = 0; j < 20; ++j) {
          refused += loop.runSync([&] { j == 10 ? loop.stop() : void(); }) ? 0 : 1;
        }
      }));
    }
    loop.run();
    senders.clear();  // waits for them
    EXPECT_GT(refused.load(), 0);
  }
}

TYPED_TEST_P(RunLoopContractTest, RunSyncOnTheMainThreadRunsInline) {
  bool inner = false;
  this->loop_.addTimer(0, [&] {
    EXPECT_TRUE(this->loop_.runSync([&] { inner = true; }));
    EXPECT_TRUE(inner);
    this->loop_.stop();
  });
  this->loop_.run();
}

// Tests that timers fire once, in the order in which they fall due, also when they all fall due
// together: the loop starts only once every one of them is due.
TYPED_TEST_P(RunLoopContractTest, TimersFireOnceInDueOrder) {
  TypeParam loop;
  std::vector<int> fired;
  loop.addTimer(0.03, [&] {
    fired.push_back(4);
    loop.stop();
  });
  loop.addTimer(0.01, [&] { fired.push_back(1); });
  loop.addTimer(0.02, [&] { fired.push_back(3); });
  loop.addTimer(0.01, [&] { fired.push_back(2); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  loop.run();
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), fired);
}

TYPED_TEST_P(RunLoopContractTest, StopBeforeRunEndsAtOnce) {
  bool fired = false;
  this->loop_.addTimer(0, [&] { fired = true; });
  this->loop_.stop();
  this->loop_.run();
  EXPECT_FALSE(fired);
}

TYPED_TEST_P(RunLoopContractTest, ReadableDescriptorsCallBack) {
  char received[3] = {};
  this->loop_.watchReadable(this->fds_[0], [&] {
    EXPECT_EQ(2, ::read(this->fds_[0], received, 2));
    this->loop_.stop();
  });
  auto writer = std::async(std::launch::async, [&] { return ::write(this->fds_[1], "hi", 2); });
  this->loop_.run();
  EXPECT_EQ(2, writer.get());
  EXPECT_STREQ("hi", received);
}

// Tests that a sender still waiting when the loop ends is released with a refusal.
TYPED_TEST_P(RunLoopContractTest, WorkPendingAtTheEndIsRefused) {
  std::atomic<bool> sending{false}, ran{false};
  std::future<bool> sender;
  this->loop_.addTimer(0, [&] {
    sender = std::async(std::launch::async, [&] {
      sending = true;
      return this->loop_.runSync([&] { ran = true; });
    });
    // The main thread is busy here: the work cannot run before the loop ends.
    testing_support::waitUntil([&] { return sending.load(); });
    this->loop_.stop();
  });
  this->loop_.run();
  EXPECT_FALSE(sender.get() || ran);
}

// Tests that stop() from another thread ends a loop that is waiting with nothing to do.
TYPED_TEST_P(RunLoopContractTest, StopFromAnotherThreadEndsAnIdleLoop) {
  std::atomic<bool> running{false};
  this->loop_.addTimer(0, [&] { running = true; });
  auto stopper = std::async(std::launch::async, [&] {
    testing_support::waitUntil([&] { return running.load(); });
    this->loop_.stop();
  });
  this->loop_.run();
  EXPECT_TRUE(running);
}

// Tests that a watch that removes itself from its own callback is not called again.
TYPED_TEST_P(RunLoopContractTest, UnwatchFromTheCallback) {
  int calls = 0;
  this->loop_.watchReadable(this->fds_[0], [&] {
    ++calls;
    this->loop_.unwatch(this->fds_[0]);
  });
  ASSERT_EQ(1, ::write(this->fds_[1], "x", 1));  // stays readable: never read
  this->loop_.addTimer(0.05, [&] { this->loop_.stop(); });
  this->loop_.run();
  EXPECT_EQ(1, calls);
}

REGISTER_TYPED_TEST_SUITE_P(RunLoopContractTest, RunSyncRunsOnTheMainThreadAndWaits,
                            WorkHandedOverAfterTheEndIsRefusedAtOnce,
                            StoppingReleasesWaitingSenders, RunSyncOnTheMainThreadRunsInline,
                            TimersFireOnceInDueOrder, StopBeforeRunEndsAtOnce,
                            ReadableDescriptorsCallBack, WorkPendingAtTheEndIsRefused,
                            StopFromAnotherThreadEndsAnIdleLoop, UnwatchFromTheCallback);

#endif  // TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
