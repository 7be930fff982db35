#ifndef TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
#define TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_

// What every fw::RunLoop must do, whatever drives it: a typed suite, instantiated once per loop
// (poll_run_loop_test.cc, gtk/gtk_run_loop_test.cc).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "framework/base/unique_fd.h"
#include "support/process.h"

template <typename Loop>
class RunLoopContractTest : public testing::Test {
 protected:
  Loop loop_;
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

// Tests that senders waiting while the loop stops, or coming after its end, are refused at
// once, not left hanging.
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

// Tests that runSync on the loop's own thread runs at once.
TYPED_TEST_P(RunLoopContractTest, RunSyncOnTheMainThreadRunsInline) {
  bool inner = false;
  this->loop_.addTimer(0, [&] {
    EXPECT_TRUE(this->loop_.runSync([&] { inner = true; }));
    EXPECT_TRUE(inner);
    this->loop_.stop();
  });
  this->loop_.run();
  EXPECT_TRUE(inner);
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

// Tests that a readable descriptor calls back on the loop's thread, and that a watch that
// removes itself from its callback is not called again (the pipe stays readable: never read).
TYPED_TEST_P(RunLoopContractTest, ReadableDescriptorsCallBackUntilUnwatched) {
  int fds[2];
  ASSERT_EQ(0, ::pipe2(fds, O_CLOEXEC));
  const fw::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  int calls = 0;
  this->loop_.watchReadable(readEnd.get(), [&] {
    ++calls;
    this->loop_.unwatch(readEnd.get());
    this->loop_.addTimer(0.05, [&] { this->loop_.stop(); });
  });
  auto writer = std::async(std::launch::async, [&] { return ::write(writeEnd.get(), "x", 1); });
  this->loop_.run();
  EXPECT_EQ(1, writer.get());
  EXPECT_EQ(1, calls);
}

REGISTER_TYPED_TEST_SUITE_P(RunLoopContractTest, RunSyncRunsOnTheMainThreadAndWaits,
                            StoppingReleasesWaitingSenders, RunSyncOnTheMainThreadRunsInline,
                            TimersFireOnceInDueOrder, ReadableDescriptorsCallBackUntilUnwatched);

#endif  // TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
