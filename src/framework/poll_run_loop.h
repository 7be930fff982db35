#ifndef SRC_FRAMEWORK_POLL_RUN_LOOP_H_
#define SRC_FRAMEWORK_POLL_RUN_LOOP_H_

#include <atomic>
#include <chrono>
#include <map>
#include <vector>

#include "framework/handoff_queue.h"
#include "framework/run_loop.h"

namespace fw {

/// A RunLoop on poll(2): the loop used when no GUI toolkit drives the main thread.
class PollRunLoop : public RunLoop {
 public:
  PollRunLoop();
  ~PollRunLoop() override;
  PollRunLoop(const PollRunLoop&) = delete;
  PollRunLoop& operator=(const PollRunLoop&) = delete;

  void run() override;
  void stop() override;
  bool runSync(std::function<void()> work) override;
  void addTimer(double seconds, std::function<void()> work) override;
  void watchReadable(int fd, std::function<void()> onReadable) override;
  void unwatch(int fd) override;

 private:
  struct Timer {
    std::chrono::steady_clock::time_point due;
    std::function<void()> work;
  };

  void wake();
  void drainWakeups();
  void runDueTimers();
  int pollTimeoutMs() const;

  int wakeFd_ = -1;  // an eventfd: written to interrupt poll()
  HandoffQueue handoffs_;
  std::atomic<bool> stopRequested_{false};
  std::vector<Timer> timers_;                     // main thread only
  std::map<int, std::function<void()>> watches_;  // main thread only
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_POLL_RUN_LOOP_H_
