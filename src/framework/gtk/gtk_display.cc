#include "framework/gtk/gtk_display.h"

#include <gtk/gtk.h>

namespace fw {

namespace {

bool initialise() {
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
