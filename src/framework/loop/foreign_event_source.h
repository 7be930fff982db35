#ifndef SRC_FRAMEWORK_LOOP_FOREIGN_EVENT_SOURCE_H_
#define SRC_FRAMEWORK_LOOP_FOREIGN_EVENT_SOURCE_H_

#include <poll.h>

#include <vector>

namespace fw {

/// The events of another library that must be served on the loop's thread (a GUI toolkit's main
/// context, attached once its window is wanted): the loop waits for them in its own wait.
/// Called on the loop's thread only.
class ForeignEventSource {
 public:
  virtual ~ForeignEventSource() = default;
  /// Before a wait: appends the descriptors to wait on and shortens `timeoutMs` (-1: no limit)
  /// to when the source next has work.
  virtual void prepare(std::vector<pollfd>* fds, int* timeoutMs) = 0;
  /// After the wait: `fds` are the descriptors that prepare() appended, with what the wait found.
  virtual void dispatch(pollfd* fds, size_t count) = 0;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_FOREIGN_EVENT_SOURCE_H_
