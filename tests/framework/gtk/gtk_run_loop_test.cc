#include "framework/gtk/gtk_run_loop.h"

#include "framework/loop/run_loop_contract.h"

using fw::GtkRunLoop;

INSTANTIATE_TYPED_TEST_SUITE_P(Gtk, RunLoopContractTest, GtkRunLoop);
