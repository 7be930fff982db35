#ifndef SRC_FRAMEWORK_LOOP_HANDOFF_QUEUE_H_
#define SRC_FRAMEWORK_LOOP_HANDOFF_QUEUE_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fw {

/// Work that other threads hand to a loop's main thread, each sender waiting until its work
/// has run there or has been refused: the main queue of every RunLoop. Once ended, it refuses
/// all that is waiting and all that comes, at once, so that no sender is ever left hanging.
class HandoffQueue {
 public:
  /// `wake` makes the loop call runPending() soon; it is called from the senders' threads.
  explicit HandoffQueue(std::function<void()> wake);
  HandoffQueue(const HandoffQueue&) = delete;
  HandoffQueue& operator=(const HandoffQueue&) = delete;

  /// Makes the calling thread the main thread (the constructing one until then). False when
  /// the queue has ended already.
  bool start();

  /// Runs `work` on the main thread and waits for it; on the main thread itself, at once. False,
  /// without running it, when the queue has ended or ends before it got to it.
  bool runSync(std::function<void()> work);

  /// Main thread: runs what is waiting, in order, until none is left or `stopped()` says so.
  void runPending(const std::function<bool()>& stopped);

  /// Refuses what is waiting and all that comes from now on.
  void end();

 private:
  struct Handoff {
    std::function<void()> work;
    bool finished = false;  // ran, or was refused
    bool ran = false;
  };

  const std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Handoff>> waiting_;  // guarded by mutex_
  bool ended_ = false;                            // guarded by mutex_
  std::thread::id mainThread_;                    // guarded by mutex_
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_HANDOFF_QUEUE_H_
