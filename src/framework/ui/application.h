#ifndef SRC_FRAMEWORK_UI_APPLICATION_H_
#define SRC_FRAMEWORK_UI_APPLICATION_H_

#include <atomic>
#include <functional>
#include <memory>

#include "framework/loop/run_loop.h"
#include "framework/ui/window.h"

namespace fw {

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  /// The event loop has started; called once, on the main thread.
  virtual void applicationDidFinishLaunching() = 0;
};

/// The shared application object of one run of the application runner.
class Application {
 public:
  explicit Application(RunLoop& loop) : loop_(loop) {}
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  ApplicationDelegate* delegate() const { return delegate_; }

  /// The main thread's loop: the main queue and its timers.
  RunLoop& runLoop() { return loop_; }

  /// Asks the event loop to end after the work in hand. Any thread.
  void stop() { loop_.stop(); }

  /// What the runner returns once its loop has ended (0 unless set). Any thread.
  void setExitStatus(int status) { exitStatus_.store(status); }
  int exitStatus() const { return exitStatus_.load(); }

 private:
  RunLoop& loop_;
  ApplicationDelegate* delegate_ = nullptr;
  std::atomic<int> exitStatus_{0};
};

/// What the runner loads in place of an interface file: the window and the objects connected
/// to it. Destroying it ends whatever it runs on other threads.
class MainInterface {
 public:
  virtual ~MainInterface() = default;
  virtual Window& window() = 0;
};

using MainInterfaceLoader = std::function<std::unique_ptr<MainInterface>(Application& application,
                                                                         WindowRenderer& renderer)>;

/// The application runner: loads the main interface, shows its window, tells the delegate that
/// the application has launched and runs the event loop on the calling thread until it is
/// asked to stop or the window closes. Once termination signals are handled (os/termination.h),
/// one closes the window meanwhile. The window is drawn (a desktop window, or a drawing on a
/// terminal) only once it has stayed open for `windowDelaySeconds`, or when it is told to
/// display() before; lines for a standard error that is no terminal are written from the start.
/// When it returns, the window is gone and the interface destroyed; the result is the exit
/// status that the application set.
int applicationMain(const MainInterfaceLoader& loadMainInterface, double windowDelaySeconds = 0);

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_APPLICATION_H_
