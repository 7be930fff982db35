#include "framework/gtk/gtk_run_loop.h"

#include <glib-unix.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace fw {

namespace {

// Handed-over work (a download's progress, hundreds of times a second) runs below GTK's own
// layout and drawing, so that a busy sender can never keep the window from being painted.
constexpr int kHandoffPriority = G_PRIORITY_DEFAULT_IDLE;

}  // namespace

struct GtkRunLoop::Timer {
  GtkRunLoop* loop = nullptr;
  guint source = 0;
  std::function<void()> work;
};

struct GtkRunLoop::Watch {
  GtkRunLoop* loop = nullptr;
  int fd = -1;
};

GtkRunLoop::GtkRunLoop()
    : context_(g_main_context_default()),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      handoffs_([this] { wake(); }) {
  if (wakeFd_ >= 0) {
    GSource* source = g_unix_fd_source_new(wakeFd_, G_IO_IN);
    g_source_set_priority(source, kHandoffPriority);
    g_source_set_callback(source, G_SOURCE_FUNC(&GtkRunLoop::onWakeup), this, nullptr);
    wakeSource_ = g_source_attach(source, context_);
    g_source_unref(source);
  }
}

GtkRunLoop::~GtkRunLoop() {
  handoffs_.end();
  removeSources();
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
  }
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
  // GLib counts whole milliseconds; rounding up keeps a timer from firing before its time.
  const double milliseconds = std::ceil(std::max(0.0, seconds) * 1000.0);
  const auto interval = static_cast<guint>(std::min(milliseconds, static_cast<double>(G_MAXUINT)));
  auto* timer = new Timer{this, 0, std::move(work)};
  GSource* source = g_timeout_source_new(interval);
  g_source_set_callback(source, &GtkRunLoop::onTimer, timer,
                        [](gpointer data) { delete static_cast<Timer*>(data); });
  timer->source = g_source_attach(source, context_);
  g_source_unref(source);
  timers_.insert(timer->source);
}

void GtkRunLoop::watchReadable(int fd, std::function<void()> onReadable) {
  unwatch(fd);
  watchCallbacks_[fd] = std::move(onReadable);
  GSource* source =
      g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_callback(source, G_SOURCE_FUNC(&GtkRunLoop::onReadable), new Watch{this, fd},
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

gboolean GtkRunLoop::onWakeup(gint fd, GIOCondition /*condition*/, gpointer data) {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t readBytes = ::read(fd, &count, sizeof count);
  auto* loop = static_cast<GtkRunLoop*>(data);
  loop->handoffs_.runPending([loop] { return loop->stopRequested_.load(); });
  return G_SOURCE_CONTINUE;
}

gboolean GtkRunLoop::onTimer(gpointer data) {
  Timer& timer = *static_cast<Timer*>(data);
  timer.loop->timers_.erase(timer.source);
  if (!timer.loop->stopRequested_.load()) {
    timer.work();
  }
  return G_SOURCE_REMOVE;  // which deletes `timer`
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

void GtkRunLoop::wake() {
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void GtkRunLoop::removeSources() {
  for (const guint source : timers_) {
    destroySource(source);
  }
  timers_.clear();
  for (const auto& [fd, source] : watchSources_) {
    destroySource(source);
  }
  watchSources_.clear();
  watchCallbacks_.clear();
  if (wakeSource_ != 0) {
    destroySource(wakeSource_);
    wakeSource_ = 0;
  }
}

void GtkRunLoop::destroySource(guint id) {
  if (GSource* source = g_main_context_find_source_by_id(context_, id)) {
    g_source_destroy(source);
  }
}

}  // namespace fw
