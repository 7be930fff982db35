#include "framework/loop/timer_queue.h"

#include <algorithm>

namespace fw {

void TimerQueue::add(double seconds, std::function<void()> work) {
  const auto delay = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(std::max(0.0, seconds)));
  timers_.emplace(std::make_pair(Clock::now() + delay, added_++), std::move(work));
}

std::optional<TimerQueue::Clock::time_point> TimerQueue::nextDue() const {
  if (timers_.empty()) {
    return std::nullopt;
  }
  return timers_.begin()->first.first;
}

void TimerQueue::runDue(Clock::time_point now, const std::function<bool()>& stopped) {
  const uint64_t addedBefore = added_;
  while (!timers_.empty() && !stopped()) {
    const auto first = timers_.begin();
    if (first->first.first > now || first->first.second >= addedBefore) {
      return;
    }
    // Taken out before it runs: the work may add timers, or clear the queue.
    const std::function<void()> work = std::move(first->second);
    timers_.erase(first);
    work();
  }
}

}  // namespace fw
