#ifndef TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
#define TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_

// What every fw::RunLoop must do, whatever drives it: a typed suite, instantiated once per loop
// (poll_run_loop_test.cc, gtk/gtk_run_loop_test.cc).

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

template <typename Loop>
class RunLoopContractTest : public testing::Test {};

TYPED_TEST_SUITE_P(RunLoopContractTest);

// Tests that work handed over from other threads runs on the loop's thread, in order, and that
// each sender waits until its work has run.
TYPED_TEST_P(RunLoopContractTest, RunSyncRunsOnTheMainThreadAndWaits) {
  TypeParam loop;
  const std::thread::id mainThread = std::this_thread::get_id();
  std::vector<int> order;
  std::thread sender([&] {
    for (int i = 0; i < 100; ++i) {
      bool ranOnMain = false;
      EXPECT_TRUE(loop.runSync([&] {
        ranOnMain = std::this_thread::get_id() == mainThread;
        order.push_back(i);
      }));
      EXPECT_TRUE(ranOnMain);
      EXPECT_EQ(static_cast<size_t>(i + 1), order.size());  // it ran before runSync returned
    }
    loop.stop();
  });
  loop.run();
  sender.join();
  ASSERT_EQ(100u, order.size());
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(i, order[static_cast<size_t>(i)]);
  }
}

TYPED_TEST_P(RunLoopContractTest, WorkHandedOverAfterTheEndIsRefusedAtOnce) {
  TypeParam loop;
  loop.addTimer(0, [&] { loop.stop(); });
  loop.run();
  std::atomic<bool> ran{false};
  auto result = std::async(std::launch::async, [&] { return loop.runSync([&] { ran = true; }); });
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(ran.load());
}

// Tests that senders waiting while the loop stops are released, not left hanging.
TYPED_TEST_P(RunLoopContractTest, StoppingReleasesWaitingSenders) {
  for (int round = 0; round < 50; ++round) {
    TypeParam loop;
    std::atomic<int> refused{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
      senders.emplace_back([&] {
        for (int j = 0; j < 20; ++j) {
          if (!loop.runSync([&] {
                if (j == 10) {
                  loop.stop();
                }
              })) {
            ++refused;
          }
        }
      });
    }
    loop.run();
    for (std::thread& sender : senders) {
      sender.join();
    }
    EXPECT_GT(refused.load(), 0);
  }
}

TYPED_TEST_P(RunLoopContractTest, RunSyncOnTheMainThreadRunsInline) {
  TypeParam loop;
  bool inner = false;
  loop.addTimer(0, [&] {
    EXPECT_TRUE(loop.runSync([&] { inner = true; }));
    EXPECT_TRUE(inner);
    loop.stop();
  });
  loop.run();
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

TYPED_TEST_P(RunLoopContractTest, StopBeforeRunEndsAtOnce) {
  TypeParam loop;
  bool fired = false;
  loop.addTimer(0, [&] { fired = true; });
  loop.stop();
  loop.run();
  EXPECT_FALSE(fired);
}

TYPED_TEST_P(RunLoopContractTest, ReadableDescriptorsCallBack) {
  TypeParam loop;
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  std::string received;
  loop.watchReadable(fds[0], [&] {
    char buffer[16];
    const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
    received.append(buffer, static_cast<size_t>(count));
    loop.unwatch(fds[0]);
    loop.stop();
  });
  std::thread writer([&] { ASSERT_EQ(2, ::write(fds[1], "hi", 2)); });
  loop.run();
  writer.join();
  EXPECT_EQ("hi", received);
  ::close(fds[0]);
  ::close(fds[1]);
}

// Tests that a sender still waiting when the loop ends is released with a refusal.
TYPED_TEST_P(RunLoopContractTest, WorkPendingAtTheEndIsRefused) {
  TypeParam loop;
  std::atomic<bool> ran{false};
  std::future<bool> result;
  loop.addTimer(0, [&] {
    result = std::async(std::launch::async, [&] { return loop.runSync([&] { ran = true; }); });
    // The main thread is busy here, so the work cannot run before the loop ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop.stop();
  });
  loop.run();
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(ran.load());
}

// Tests that stop() from another thread ends a loop that is waiting with nothing to do.
TYPED_TEST_P(RunLoopContractTest, StopFromAnotherThreadEndsAnIdleLoop) {
  TypeParam loop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.stop();
  });
  loop.run();
  stopper.join();
}

// Tests that a watch that removes itself from its own callback is not called again.
TYPED_TEST_P(RunLoopContractTest, UnwatchFromTheCallback) {
  TypeParam loop;
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ASSERT_EQ(1, ::write(fds[1], "x", 1));  // stays readable: never read
  int calls = 0;
  loop.watchReadable(fds[0], [&] {
    ++calls;
    loop.unwatch(fds[0]);
  });
  loop.addTimer(0.05, [&] { loop.stop(); });
  loop.run();
  EXPECT_EQ(1, calls);
  ::close(fds[0]);
  ::close(fds[1]);
}

REGISTER_TYPED_TEST_SUITE_P(RunLoopContractTest, RunSyncRunsOnTheMainThreadAndWaits,
                            WorkHandedOverAfterTheEndIsRefusedAtOnce,
                            StoppingReleasesWaitingSenders, RunSyncOnTheMainThreadRunsInline,
                            TimersFireOnceInDueOrder, StopBeforeRunEndsAtOnce,
                            ReadableDescriptorsCallBack, WorkPendingAtTheEndIsRefused,
                            StopFromAnotherThreadEndsAnIdleLoop, UnwatchFromTheCallback);

#endif  // TESTS_FRAMEWORK_LOOP_RUN_LOOP_CONTRACT_H_
