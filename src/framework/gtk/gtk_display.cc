#include "framework/gtk/gtk_display.h"

#include <gtk/gtk.h>

namespace fw {

namespace {

// GTK 3 asks a display without a seat (no keyboard, no pointer: a headless Wayland compositor)
// for its keyboard from within gtk_init itself, and complains of the missing seat; that says
// nothing to a user. Every other message goes on as GLib would print it.
void filterSeatlessComplaints(const gchar* domain, GLogLevelFlags level, const gchar* message,
                              gpointer data) {
  GdkDisplay* display = gdk_display_get_default();
  const bool seatless = display != nullptr && gdk_display_get_default_seat(display) == nullptr;
  if (seatless && message != nullptr &&
      (g_strrstr(message, "GDK_IS_SEAT (seat)") != nullptr ||
       g_strrstr(message, "GDK_IS_DEVICE (device)") != nullptr)) {
    return;
  }
  g_log_default_handler(domain, level, message, data);
}

bool initialise() {
  g_log_set_handler("Gdk", G_LOG_LEVEL_CRITICAL, &filterSeatlessComplaints, nullptr);
  // GDK probes every X display it opens for OpenGL, which loads the GL driver (a software one
  // brings LLVM along): some 55 MiB and 50 ms for a window that never draws with GL. A choice
  // that the user made in GDK_GL stands; ours does not reach the install agent.
  const bool chooseGl = g_getenv("GDK_GL") == nullptr;
  if (chooseGl) {
    g_setenv("GDK_GL", "disable", FALSE);
  }
  const bool opened = gtk_init_check(nullptr, nullptr) != FALSE;
  if (chooseGl) {
    g_unsetenv("GDK_GL");
  }
  return opened;
}

}  // namespace

bool openGtkDisplay() {
  static const bool opened = initialise();
  return opened;
}

}  // namespace fw
