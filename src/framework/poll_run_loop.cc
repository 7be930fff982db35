#include "framework/poll_run_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace fw {

PollRunLoop::PollRunLoop()
    : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), handoffs_([this] { wake(); }) {}

PollRunLoop::~PollRunLoop() {
  handoffs_.end();
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
  }
}

void PollRunLoop::run() {
  if (!handoffs_.start()) {
    return;
  }
  while (!stopRequested_.load()) {
    std::vector<pollfd> fds;
    fds.push_back({wakeFd_, POLLIN, 0});
    for (const auto& [fd, callback] : watches_) {
      fds.push_back({fd, POLLIN, 0});
    }
    const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
    if (ready < 0 && errno != EINTR) {
      break;
    }
    drainWakeups();
    handoffs_.runPending([this] { return stopRequested_.load(); });
    runDueTimers();
    for (size_t i = 1; i < fds.size() && !stopRequested_.load(); ++i) {
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
}

void PollRunLoop::stop() {
  stopRequested_.store(true);
  wake();
}

bool PollRunLoop::runSync(std::function<void()> work) {
  return handoffs_.runSync(std::move(work));
}

void PollRunLoop::addTimer(double seconds, std::function<void()> work) {
  const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(std::max(0.0, seconds)));
  timers_.push_back({std::chrono::steady_clock::now() + delay, std::move(work)});
}

void PollRunLoop::watchReadable(int fd, std::function<void()> onReadable) {
  watches_[fd] = std::move(onReadable);
}

void PollRunLoop::unwatch(int fd) {
  watches_.erase(fd);
}

void PollRunLoop::wake() {
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void PollRunLoop::drainWakeups() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t readBytes = ::read(wakeFd_, &count, sizeof count);
}

void PollRunLoop::runDueTimers() {
  const auto now = std::chrono::steady_clock::now();
  std::vector<Timer> due;
  auto firstLater = std::partition(timers_.begin(), timers_.end(),
                                   [&](const Timer& timer) { return timer.due <= now; });
  std::move(timers_.begin(), firstLater, std::back_inserter(due));
  timers_.erase(timers_.begin(), firstLater);
  for (Timer& timer : due) {
    if (stopRequested_.load()) {
      return;
    }
    timer.work();
  }
}

int PollRunLoop::pollTimeoutMs() const {
  if (timers_.empty()) {
    return -1;
  }
  const auto now = std::chrono::steady_clock::now();
  auto earliest = timers_.front().due;
  for (const Timer& timer : timers_) {
    earliest = std::min(earliest, timer.due);
  }
  if (earliest <= now) {
    return 0;
  }
  // Round up, so that a timer is never found not yet due after the wait.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - now);
  return static_cast<int>(std::min<int64_t>(wait.count(), 60'000));
}

}  // namespace fw
