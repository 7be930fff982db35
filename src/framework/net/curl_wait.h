#ifndef SRC_FRAMEWORK_NET_CURL_WAIT_H_
#define SRC_FRAMEWORK_NET_CURL_WAIT_H_

#include <curl/curl.h>

#include "framework/base/unique_fd.h"
#include "framework/net/curl_library.h"

namespace fw {

/// Waits for the sockets of a multi handle in a way that another thread can end at once:
/// curl_multi_poll and curl_multi_wakeup where libcurl has them, else curl_multi_wait that also
/// watches an eventfd of this object's own.
class CurlWait {
 public:
  CurlWait(const CurlLibrary& curl, CURLM* multi);

  /// False when the eventfd that an older libcurl needs could not be made (errno says why).
  bool valid() const { return curl_.multiWakeup != nullptr || wakeFd_; }
  /// Until a socket is ready, `timeoutMs` have passed or wake() is called (during the wait or
  /// since the last one).
  void wait(int timeoutMs);
  /// Ends the current or the next wait. Any thread.
  void wake() const;

 private:
  const CurlLibrary& curl_;
  CURLM* multi_;
  UniqueFd wakeFd_;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_WAIT_H_
