#ifndef SRC_FRAMEWORK_POLL_RUN_LOOP_H_
#define SRC_FRAMEWORK_POLL_RUN_LOOP_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
  // One piece of work handed over by another thread, and how it ended.
  struct Handoff {
    std::function<void()> work;
    bool finished = false;  // ran, or was refused
    bool ran = false;
  };
  struct Timer {
    std::chrono::steady_clock::time_point due;
    std::function<void()> work;
  };

  void wake();
  void drainWakeups();
  void runHandoffs();
  void runDueTimers();
  int pollTimeoutMs() const;
  void refusePending();

  int wakeFd_ = -1;  // an eventfd: written to interrupt poll()
  std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Handoff>> handoffs_;  // guarded by mutex_
  bool ended_ = false;                             // guarded by mutex_
  std::atomic<bool> stopRequested_{false};
  std::thread::id mainThread_;  // the constructing thread until run() starts; guarded by mutex_
  std::vector<Timer> timers_;   // main thread only
  std::map<int, std::function<void()>> watches_;  // main thread only
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_POLL_RUN_LOOP_H_
