#ifndef SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_
#define SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_

#include <glib.h>

#include <atomic>
#include <functional>
#include <map>

#include "framework/loop/handoff_queue.h"
#include "framework/loop/run_loop.h"
#include "framework/loop/timer_queue.h"
#include "framework/loop/wake_event.h"

namespace fw {

/// A RunLoop on GLib's default main context: the loop that GTK draws and takes its events on,
/// used when the window is a desktop window. Its contract is PollRunLoop's, to the letter: work
/// handed over from other threads runs on the main thread while its sender waits; work handed
/// over after the end, or still waiting at the end, is refused at once; on the main thread
/// runSync runs inline; timers fire once; stop() works from any thread, also before run().
///
/// Everything it adds to the context (its timer source, watched descriptors, its wake-up
/// descriptor) is removed when run() returns and when it is destroyed, so that a later loop on
/// the same context never meets a callback into a dead one.
class GtkRunLoop : public RunLoop {
 public:
  GtkRunLoop();
  ~GtkRunLoop() override;
  GtkRunLoop(const GtkRunLoop&) = delete;
  GtkRunLoop& operator=(const GtkRunLoop&) = delete;

  void run() override;
  void stop() override;
  bool runSync(std::function<void()> work) override;
  void addTimer(double seconds, std::function<void()> work) override;
  void watchReadable(int fd, std::function<void()> onReadable) override;
  void unwatch(int fd) override;

 private:
  struct Watch;

  static gboolean onWakeup(gint fd, GIOCondition condition, gpointer data);
  static gboolean onTimers(gpointer data);
  static gboolean onReadable(gint fd, GIOCondition condition, gpointer data);

  /// Sets the timer source's ready time to the earliest timer's.
  void armTimers();
  void removeSources();
  void destroySource(guint id);

  GMainContext* context_;
  WakeEvent wakeEvent_;  // written when work is handed over
  guint wakeSource_ = 0;
  guint timerSource_ = 0;
  HandoffQueue handoffs_;
  std::atomic<bool> stopRequested_{false};
  TimerQueue timers_;                                    // main thread only
  std::map<int, guint> watchSources_;                    // main thread only
  std::map<int, std::function<void()>> watchCallbacks_;  // main thread only
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_
