#include "framework/gtk/glib_context_source.h"

#include <algorithm>

namespace fw {

GlibContextSource::GlibContextSource(PollRunLoop& loop)
    : loop_(loop),
      context_(g_main_context_default()),
      owned_(g_main_context_acquire(context_) != FALSE) {
  loop_.setForeignEventSource(this);
}

GlibContextSource::~GlibContextSource() {
  loop_.setForeignEventSource(nullptr);
  if (owned_) {
    g_main_context_release(context_);
  }
}

// The steps of one g_main_context_iteration(), with the wait left to the loop.
void GlibContextSource::prepare(std::vector<pollfd>* fds, int* timeoutMs) {
  g_main_context_prepare(context_, &priority_);
  gint timeout = -1;
  polled_.resize(std::max<size_t>(polled_.size(), 8));
  for (;;) {
    const gint wanted = g_main_context_query(context_, priority_, &timeout, polled_.data(),
                                             static_cast<gint>(polled_.size()));
    if (static_cast<size_t>(wanted) <= polled_.size()) {
      polled_.resize(static_cast<size_t>(wanted));
      break;
    }
    polled_.resize(static_cast<size_t>(wanted));
  }
  for (const GPollFD& polled : polled_) {
    fds->push_back({polled.fd, static_cast<short>(polled.events), 0});
  }
  if (timeout >= 0 && (*timeoutMs < 0 || timeout < *timeoutMs)) {
    *timeoutMs = timeout;
  }
}

void GlibContextSource::dispatch(pollfd* fds, size_t count) {
  const size_t n = std::min(count, polled_.size());
  for (size_t i = 0; i < n; ++i) {
    polled_[i].revents = static_cast<gushort>(fds[i].revents);
  }
  if (g_main_context_check(context_, priority_, polled_.data(), static_cast<gint>(n)) != FALSE) {
    g_main_context_dispatch(context_);
  }
}

}  // namespace fw
