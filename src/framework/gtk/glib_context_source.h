#ifndef SRC_FRAMEWORK_GTK_GLIB_CONTEXT_SOURCE_H_
#define SRC_FRAMEWORK_GTK_GLIB_CONTEXT_SOURCE_H_

#include <glib.h>

#include <vector>

#include "framework/loop/foreign_event_source.h"
#include "framework/loop/poll_run_loop.h"

namespace fw {

/// GLib's default main context, served by a PollRunLoop: what GTK draws and takes its events
/// on. Attaches itself to the loop (and owns the context) for its lifetime; the loop's own work
/// keeps its contract. Main thread only.
class GlibContextSource : public ForeignEventSource {
 public:
  explicit GlibContextSource(PollRunLoop& loop);
  ~GlibContextSource() override;
  GlibContextSource(const GlibContextSource&) = delete;
  GlibContextSource& operator=(const GlibContextSource&) = delete;

  void prepare(std::vector<pollfd>* fds, int* timeoutMs) override;
  void dispatch(pollfd* fds, size_t count) override;

 private:
  PollRunLoop& loop_;
  GMainContext* context_;
  bool owned_;
  gint priority_ = 0;
  std::vector<GPollFD> polled_;  // what the context asked for in the last prepare()
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GLIB_CONTEXT_SOURCE_H_
