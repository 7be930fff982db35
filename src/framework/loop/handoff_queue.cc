#include "framework/loop/handoff_queue.h"

namespace fw {

HandoffQueue::HandoffQueue(std::function<void()> wake)
    : wake_(std::move(wake)), mainThread_(std::this_thread::get_id()) {}

bool HandoffQueue::start() {
  const std::lock_guard<std::mutex> lock(mutex_);
  mainThread_ = std::this_thread::get_id();
  return !ended_;
}

bool HandoffQueue::runSync(std::function<void()> work) {
  auto handoff = std::make_shared<Handoff>();
  handoff->work = std::move(work);
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_) {
    return false;
  }
  if (std::this_thread::get_id() == mainThread_) {
    lock.unlock();
    handoff->work();
    return true;
  }
  waiting_.push_back(handoff);
  wake_();
  finished_.wait(lock, [&] { return handoff->finished; });
  return handoff->ran;
}

void HandoffQueue::runPending(const std::function<bool()>& stopped) {
  for (;;) {
    std::shared_ptr<Handoff> handoff;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (waiting_.empty() || stopped()) {
        return;
      }
      handoff = waiting_.front();
      waiting_.pop_front();
    }
    handoff->work();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      handoff->ran = true;
      handoff->finished = true;
    }
    finished_.notify_all();
  }
}

void HandoffQueue::end() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    for (const auto& handoff : waiting_) {
      handoff->finished = true;
    }
    waiting_.clear();
  }
  finished_.notify_all();
}

}  // namespace fw
