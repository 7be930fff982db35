#include "framework/loop/poll_run_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace fw {

PollRunLoop::PollRunLoop() : handoffs_([this] { wakeEvent_.wake(); }) {}

PollRunLoop::~PollRunLoop() {
  handoffs_.end();
}

void PollRunLoop::run() {
  if (!handoffs_.start()) {
    return;
  }
  const auto stopped = [this] { return stopRequested_.load(); };
  while (!stopped()) {
    std::vector<pollfd> fds;
    fds.push_back({wakeEvent_.fd(), POLLIN, 0});
    for (const auto& [fd, callback] : watches_) {
      fds.push_back({fd, POLLIN, 0});
    }
    const size_t ours = fds.size();
    int timeoutMs = pollTimeoutMs();
    ForeignEventSource* const foreign = foreign_;
    if (foreign != nullptr) {
      foreign->prepare(&fds, &timeoutMs);
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) {
      break;
    }
    wakeEvent_.drain();
    handoffs_.runPending(stopped);
    timers_.runDue(TimerQueue::Clock::now(), stopped);
    // Only while still attached: the work above may have detached it.
    if (foreign != nullptr && foreign == foreign_ && !stopped()) {
      foreign->dispatch(fds.data() + ours, fds.size() - ours);
    }
    for (size_t i = 1; i < ours && !stopped(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const auto watch = watches_.find(fds[i].fd);
        if (watch != watches_.end()) {
          // A copy: the callback may unwatch itself.
          const std::function<void()> callback = watch->second;
          callback();
        }
      }
    }
  }
  handoffs_.end();
  timers_.clear();
  watches_.clear();
  foreign_ = nullptr;
}

void PollRunLoop::stop() {
  stopRequested_.store(true);
  wakeEvent_.wake();
}

bool PollRunLoop::runSync(std::function<void()> work) {
  return handoffs_.runSync(std::move(work));
}

void PollRunLoop::addTimer(double seconds, std::function<void()> work) {
  timers_.add(seconds, std::move(work));
}

void PollRunLoop::watchReadable(int fd, std::function<void()> onReadable) {
  watches_[fd] = std::move(onReadable);
}

void PollRunLoop::unwatch(int fd) {
  watches_.erase(fd);
}

int PollRunLoop::pollTimeoutMs() const {
  const auto due = timers_.nextDue();
  if (!due) {
    return -1;
  }
  const auto now = TimerQueue::Clock::now();
  if (*due <= now) {
    return 0;
  }
  // Round up, so that a timer is never found not yet due after the wait.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
  return static_cast<int>(std::min<int64_t>(wait.count(), 60'000));
}

}  // namespace fw
