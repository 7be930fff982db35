#include "framework/loop/wake_event.h"

#include <sys/eventfd.h>

#include <cstdint>

namespace fw {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::wake() {
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] const ssize_t written = ::write(fd_.get(), &one, sizeof one);
}

void WakeEvent::drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t readBytes = ::read(fd_.get(), &count, sizeof count);
}

}  // namespace fw
