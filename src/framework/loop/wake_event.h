#ifndef SRC_FRAMEWORK_LOOP_WAKE_EVENT_H_
#define SRC_FRAMEWORK_LOOP_WAKE_EVENT_H_

#include "framework/base/unique_fd.h"

namespace fw {

/// A descriptor that turns readable when another thread wants the loop's thread to look at its
/// work: an eventfd, written by wake() and emptied by drain().
class WakeEvent {
 public:
  WakeEvent();

  /// The descriptor to wait on; -1 when none could be made.
  int fd() const { return fd_.get(); }
  /// Makes fd() readable. Any thread.
  void wake();
  /// Makes fd() unreadable again. The waiting thread only.
  void drain();

 private:
  UniqueFd fd_;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_WAKE_EVENT_H_
