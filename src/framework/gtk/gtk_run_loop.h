#ifndef SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_
#define SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_

#include <glib.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>

#include "framework/handoff_queue.h"
#include "framework/run_loop.h"

namespace fw {

/// A RunLoop on GLib's default main context: the loop that GTK draws and takes its events on,
/// used when the window is a desktop window. Its contract is PollRunLoop's, to the letter: work
/// handed over from other threads runs on the main thread while its sender waits; work handed
/// over after the end, or still waiting at the end, is refused at once; on the main thread
/// runSync runs inline; timers fire once; stop() works from any thread, also before run().
///
/// Everything it adds to the context (timers, watched descriptors, its wake-up descriptor) is
/// removed when run() returns and when it is destroyed, so that a later loop on the same context
/// never meets a callback into a dead one.
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
  struct Timer;
  struct Watch;

  static gboolean onWakeup(gint fd, GIOCondition condition, gpointer data);
  static gboolean onTimer(gpointer data);
  static gboolean onReadable(gint fd, GIOCondition condition, gpointer data);

  void wake();
  void removeSources();
  void destroySource(guint id);

  GMainContext* context_;
  int wakeFd_ = -1;  // an eventfd: written when work is handed over
  guint wakeSource_ = 0;
  HandoffQueue handoffs_;
  std::atomic<bool> stopRequested_{false};
  std::set<guint> timers_;             // main thread only: the sources of timers not yet fired
  std::map<int, guint> watchSources_;  // main thread only
  std::map<int, std::function<void()>> watchCallbacks_;  // main thread only
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GTK_RUN_LOOP_H_
