#include "framework/gtk/gtk_display.h"

#include <gtk/gtk.h>

#include <cstring>

#include "framework/os/message_locale.h"

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
  // GTK would set the whole of the process's locale to the user's: the system's messages in log
  // lines would be translated and numbers written with the user's decimal mark. The window's
  // words come in the user's language all the same (framework/os/message_locale.h).
  gtk_disable_setlocale();
  const bool opened = gtk_init_check(nullptr, nullptr) != FALSE;
  if (chooseGl) {
    g_unsetenv("GDK_GL");
  }
  // GTK takes the direction of the layout from its own catalogs' word for "default:LTR", in the
  // process's locale; the window's language is the program's.
  // TRANSLATORS: "default:RTL" for a language written from right to left (the window is then
  // laid out from the right), else "default:LTR". Not shown.
  const bool rightToLeft = std::strcmp(localized("default:LTR"), "default:RTL") == 0;
  gtk_widget_set_default_direction(rightToLeft ? GTK_TEXT_DIR_RTL : GTK_TEXT_DIR_LTR);
  return opened;
}

}  // namespace

bool openGtkDisplay() {
  static const bool opened = initialise();
  return opened;
}

}  // namespace fw
