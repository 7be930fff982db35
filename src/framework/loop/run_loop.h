#ifndef SRC_FRAMEWORK_LOOP_RUN_LOOP_H_
#define SRC_FRAMEWORK_LOOP_RUN_LOOP_H_

#include <functional>

namespace fw {

/// The main thread's event loop. It runs work handed to it from other threads, one-shot timers
/// and the readable-descriptor callbacks that renderers add, until asked to stop.
///
/// No path can deadlock: the main thread never waits for another thread, and work handed over
/// after the loop ended (or while it ends) is refused at once instead of leaving its sender
/// waiting.
class RunLoop {
 public:
  virtual ~RunLoop() = default;

  /// Runs the loop on the calling thread, which becomes the loop's main thread, until stop().
  /// A loop runs once: after run() has returned, it refuses all new work.
  virtual void run() = 0;

  /// Asks run() to return once the work in hand is done. Any thread, at any time; also before
  /// run(), which then returns at once.
  virtual void stop() = 0;

  /// Runs `work` on the main thread and waits until it has run. Returns false, without running
  /// it, when the loop has ended or ends before it got to it. Called on the main thread itself,
  /// it runs `work` at once.
  virtual bool runSync(std::function<void()> work) = 0;

  /// Runs `work` on the main thread once, `seconds` from now, if the loop still runs then.
  /// Main thread only.
  virtual void addTimer(double seconds, std::function<void()> work) = 0;

  /// Calls `onReadable` on the main thread whenever the descriptor is readable, until the loop
  /// ends or the descriptor is unwatched. Main thread only.
  virtual void watchReadable(int fd, std::function<void()> onReadable) = 0;
  virtual void unwatch(int fd) = 0;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_LOOP_RUN_LOOP_H_
