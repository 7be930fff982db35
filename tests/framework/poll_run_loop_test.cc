#include "framework/poll_run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using fw::PollRunLoop;

// Tests that work handed over from other threads runs on the loop's thread, in order, and that
// each sender waits until its work has run.
TEST(PollRunLoopTest, RunSyncRunsOnTheMainThreadAndWaits) {
  PollRunLoop loop;
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

TEST(PollRunLoopTest, WorkHandedOverAfterTheEndIsRefusedAtOnce) {
  PollRunLoop loop;
  loop.addTimer(0, [&] { loop.stop(); });
  loop.run();
  std::atomic<bool> ran{false};
  auto result = std::async(std::launch::async, [&] { return loop.runSync([&] { ran = true; }); });
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(ran.load());
}

// Tests that senders waiting while the loop stops are released, not left hanging.
TEST(PollRunLoopTest, StoppingReleasesWaitingSenders) {
  for (int round = 0; round < 50; ++round) {
    PollRunLoop loop;
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

TEST(PollRunLoopTest, RunSyncOnTheMainThreadRunsInline) {
  PollRunLoop loop;
  bool inner = false;
  loop.addTimer(0, [&] {
    EXPECT_TRUE(loop.runSync([&] { inner = true; }));
    EXPECT_TRUE(inner);
    loop.stop();
  });
  loop.run();
  EXPECT_TRUE(inner);
}

TEST(PollRunLoopTest, TimersFireOnceInDueOrder) {
  PollRunLoop loop;
  std::vector<int> fired;
  loop.addTimer(0.03, [&] {
    fired.push_back(3);
    loop.stop();
  });
  loop.addTimer(0.01, [&] { fired.push_back(1); });
  loop.addTimer(0.02, [&] { fired.push_back(2); });
  loop.run();
  EXPECT_EQ((std::vector<int>{1, 2, 3}), fired);
}

TEST(PollRunLoopTest, StopBeforeRunEndsAtOnce) {
  PollRunLoop loop;
  bool fired = false;
  loop.addTimer(0, [&] { fired = true; });
  loop.stop();
  loop.run();
  EXPECT_FALSE(fired);
}

TEST(PollRunLoopTest, ReadableDescriptorsCallBack) {
  PollRunLoop loop;
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
