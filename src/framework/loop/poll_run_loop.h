#ifndef SRC_FRAMEWORK_LOOP_POLL_RUN_LOOP_H_
#define SRC_FRAMEWORK_LOOP_POLL_RUN_LOOP_H_

#include <atomic>
#include <functional>
#include <map>

#include "framework/loop/foreign_event_source.h"
#include "framework/loop/handoff_queue.h"
#include "framework/loop/run_loop.h"
#include "framework/loop/timer_queue.h"
#include "framework/loop/wake_event.h"

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

  /// Serves `source` too from now on, in the same wait; null: no longer. Main thread only.
  void setForeignEventSource(ForeignEventSource* source) { foreign_ = source; }

 private:
  int pollTimeoutMs() const;

  WakeEvent wakeEvent_;  // interrupts poll()
  HandoffQueue handoffs_;
  std::atomic<bool> stopRequested_{false};
  TimerQueue timers_;                             // main thread only
  std::map<int, std::function<void()>> watches_;  // main thread only
  ForeignEventSource* foreign_ = nullptr;         // main thread only
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_POLL_RUN_LOOP_H_
