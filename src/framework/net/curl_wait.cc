#include "framework/net/curl_wait.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace fw {

CurlWait::CurlWait(const CurlLibrary& curl, CURLM* multi) : curl_(curl), multi_(multi) {
  if (curl_.multiWakeup == nullptr) {
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  }
}

void CurlWait::wait(int timeoutMs) {
  if (curl_.multiWakeup != nullptr) {
    curl_.multiPoll(multi_, nullptr, 0, timeoutMs, nullptr);
    return;
  }
  curl_waitfd wakeup{wakeFd_.get(), CURL_WAIT_POLLIN, 0};
  curl_.multiWait(multi_, &wakeup, 1, timeoutMs, nullptr);
  if (wakeup.revents != 0) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t readBytes = ::read(wakeFd_.get(), &count, sizeof count);
  }
}

void CurlWait::wake() const {
  if (curl_.multiWakeup != nullptr) {
    curl_.multiWakeup(multi_);
    return;
  }
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
}

}  // namespace fw
