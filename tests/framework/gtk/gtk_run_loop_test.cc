#include "framework/gtk/gtk_run_loop.h"

#include "framework/gtk/glib_context_source.h"
#include "framework/loop/run_loop_contract.h"

using fw::GtkRunLoop;

namespace {

// The program's loop once a desktop window is wanted: serving GLib's context as well.
struct PollRunLoopServingGlib : fw::PollRunLoop {
  fw::GlibContextSource glib{*this};
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Gtk, RunLoopContractTest, GtkRunLoop);
INSTANTIATE_TYPED_TEST_SUITE_P(PollServingGlib, RunLoopContractTest, PollRunLoopServingGlib);

// Tests that GLib's own sources (GTK's events and drawing) fire on the loop that serves them.
TEST(PollServingGlib, FiresGlibSources) {
  PollRunLoopServingGlib loop;
  const auto stop = [](gpointer data) -> gboolean {
    static_cast<fw::PollRunLoop*>(data)->stop();
    return G_SOURCE_REMOVE;
  };
  g_timeout_add(10, stop, &loop);
  loop.run();  // returns once GLib's timeout has fired
}
