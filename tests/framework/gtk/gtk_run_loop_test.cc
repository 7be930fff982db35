#include "framework/gtk/gtk_run_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "framework/loop/run_loop_contract.h"

using fw::GtkRunLoop;

INSTANTIATE_TYPED_TEST_SUITE_P(Gtk, RunLoopContractTest, GtkRunLoop);

// What only a loop on a shared context can get wrong.

// Tests that a loop that has ended leaves nothing on the shared context: its timers and watches
// never call back while a later loop runs.
TEST(GtkRunLoopTest, AnEndedLoopLeavesNothingBehind) {
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ASSERT_EQ(1, ::write(fds[1], "x", 1));
  std::atomic<int> calls{0};
  {
    GtkRunLoop first;
    first.addTimer(0.01, [&] { ++calls; });
    first.watchReadable(fds[0], [&] { ++calls; });
    first.stop();
    first.run();
  }
  GtkRunLoop second;
  second.addTimer(0.1, [&] { second.stop(); });
  second.run();
  EXPECT_EQ(0, calls.load());
  ::close(fds[0]);
  ::close(fds[1]);
}
