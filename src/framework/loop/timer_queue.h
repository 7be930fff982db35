#ifndef SRC_FRAMEWORK_LOOP_TIMER_QUEUE_H_
#define SRC_FRAMEWORK_LOOP_TIMER_QUEUE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace fw {

/// The one-shot timers of a loop, kept on its main thread. They fire in the order in which they
/// fall due; timers that fall due at the same moment fire in the order in which they were
/// added. Main thread only.
class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;

  /// Adds `work`, due `seconds` from now (now, for a negative delay).
  void add(double seconds, std::function<void()> work);

  /// When the earliest timer falls due; none when there is no timer.
  std::optional<Clock::time_point> nextDue() const;

  /// Runs, in order, the timers that are due at `now` and were added before this call, until
  /// none is left or `stopped()` says so. Timers that they add wait for a later call.
  void runDue(Clock::time_point now, const std::function<bool()>& stopped);

  void clear() { timers_.clear(); }

 private:
  std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> timers_;
  uint64_t added_ = 0;  // how many timers were ever added: each one's place among equals
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_TIMER_QUEUE_H_
