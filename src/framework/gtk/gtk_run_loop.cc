#include "framework/gtk/gtk_run_loop.h"

#include <glib-unix.h>

#include <chrono>

namespace fw {

namespace {

// Handed-over work (a download's progress, hundreds of times a second) runs below GTK's own
// layout and drawing, so that a busy sender can never keep the window from being painted.
constexpr int kHandoffPriority = G_PRIORITY_DEFAULT_IDLE;

// The source that fires the loop's timers: it has no test of its own, only a ready time, which
// the loop sets to the earliest timer's.
gboolean dispatchTimers(GSource* /*source*/, GSourceFunc callback, gpointer data) {
  return callback(data);
}
GSourceFuncs timerSourceFuncs = {nullptr, nullptr, dispatchTimers, nullptr, nullptr, nullptr};

// A file descriptor source calls its callback with its own signature through a GSourceFunc: the
// cast of G_SOURCE_FUNC, which GLib has only had since 2.58.
template <typename Function>
GSourceFunc sourceFunc(Function* function) {
  return reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

struct GtkRunLoop::Watch {
  GtkRunLoop* loop = nullptr;
  int fd = -1;
};

GtkRunLoop::GtkRunLoop()
    : context_(g_main_context_default()), handoffs_([this] { wakeEvent_.wake(); }) {
  if (wakeEvent_.fd() >= 0) {
    GSource* source = g_unix_fd_source_new(wakeEvent_.fd(), G_IO_IN);
    g_source_set_priority(source, kHandoffPriority);
    g_source_set_callback(source, sourceFunc(&GtkRunLoop::onWakeup), this, nullptr);
    wakeSource_ = g_source_attach(source, context_);
    g_source_unref(source);
  }
  GSource* timers = g_source_new(&timerSourceFuncs, sizeof(GSource));
  g_source_set_callback(timers, &GtkRunLoop::onTimers, this, nullptr);
  g_source_set_ready_time(timers, -1);
  timerSource_ = g_source_attach(timers, context_);
  g_source_unref(timers);
}

GtkRunLoop::~GtkRunLoop() {
  handoffs_.end();
  removeSources();
}

void GtkRunLoop::run() {
  if (!handoffs_.start()) {
    return;
  }
  // One iteration at a time rather than a GMainLoop: a stop() that comes before the first
  // iteration (even from another thread) is then never lost, since the flag is read first and
  // g_main_context_wakeup() makes a waiting or coming iteration return.
  while (!stopRequested_.load()) {
    g_main_context_iteration(context_, TRUE);
  }
  handoffs_.end();
  removeSources();
}

void GtkRunLoop::stop() {
  stopRequested_.store(true);
  g_main_context_wakeup(context_);
}

bool GtkRunLoop::runSync(std::function<void()> work) {
  return handoffs_.runSync(std::move(work));
}

void GtkRunLoop::addTimer(double seconds, std::function<void()> work) {
  timers_.add(seconds, std::move(work));
  armTimers();
}

void GtkRunLoop::watchReadable(int fd, std::function<void()> onReadable) {
  unwatch(fd);
  watchCallbacks_[fd] = std::move(onReadable);
  GSource* source =
      g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_callback(source, sourceFunc(&GtkRunLoop::onReadable), new Watch{this, fd},
                        [](gpointer data) { delete static_cast<Watch*>(data); });
  watchSources_[fd] = g_source_attach(source, context_);
  g_source_unref(source);
}

void GtkRunLoop::unwatch(int fd) {
  const auto source = watchSources_.find(fd);
  if (source != watchSources_.end()) {
    destroySource(source->second);
    watchSources_.erase(source);
  }
  watchCallbacks_.erase(fd);
}

void GtkRunLoop::armTimers() {
  GSource* source = g_main_context_find_source_by_id(context_, timerSource_);
  if (source == nullptr) {
    return;
  }
  const auto due = timers_.nextDue();
  if (!due) {
    g_source_set_ready_time(source, -1);
    return;
  }
  // GLib's monotonic clock is the steady clock, in microseconds: rounded up, a timer never
  // fires before its time.
  const auto micros = std::chrono::ceil<std::chrono::microseconds>(due->time_since_epoch());
  g_source_set_ready_time(source, static_cast<gint64>(micros.count()));
}

gboolean GtkRunLoop::onWakeup(gint /*fd*/, GIOCondition /*condition*/, gpointer data) {
  auto* loop = static_cast<GtkRunLoop*>(data);
  loop->wakeEvent_.drain();
  loop->handoffs_.runPending([loop] { return loop->stopRequested_.load(); });
  return G_SOURCE_CONTINUE;
}

gboolean GtkRunLoop::onTimers(gpointer data) {
  auto* loop = static_cast<GtkRunLoop*>(data);
  loop->timers_.runDue(TimerQueue::Clock::now(), [loop] { return loop->stopRequested_.load(); });
  loop->armTimers();
  return G_SOURCE_CONTINUE;
}

gboolean GtkRunLoop::onReadable(gint /*fd*/, GIOCondition /*condition*/, gpointer data) {
  const Watch& watch = *static_cast<Watch*>(data);
  GtkRunLoop& loop = *watch.loop;
  if (loop.stopRequested_.load()) {
    return G_SOURCE_CONTINUE;
  }
  const auto callback = loop.watchCallbacks_.find(watch.fd);
  if (callback != loop.watchCallbacks_.end()) {
    // A copy: the callback may unwatch itself, which destroys this source and its data.
    const std::function<void()> onReadable = callback->second;
    onReadable();
  }
  return G_SOURCE_CONTINUE;
}

void GtkRunLoop::removeSources() {
  timers_.clear();
  for (const auto& [fd, source] : watchSources_) {
    destroySource(source);
  }
  watchSources_.clear();
  watchCallbacks_.clear();
  for (guint* source : {&wakeSource_, &timerSource_}) {
    if (*source != 0) {
      destroySource(*source);
      *source = 0;
    }
  }
}

void GtkRunLoop::destroySource(guint id) {
  if (GSource* source = g_main_context_find_source_by_id(context_, id)) {
    g_source_destroy(source);
  }
}

}  // namespace fw
