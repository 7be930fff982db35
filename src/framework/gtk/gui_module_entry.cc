// The one entry point of bootstrap-installer-gtk.so, which the program loads only when a display
// is named (see framework/gui_module.h). Everything else in the module is hidden; what it uses
// of the framework, the program exports.

#include <memory>
#include <string_view>
#include <type_traits>

#include "framework/gtk/gtk_display.h"
#include "framework/gtk/gtk_run_loop.h"
#include "framework/gtk/gtk_window_renderer.h"
#include "framework/ui/gui_module.h"

extern "C" __attribute__((visibility("default"))) bool bi_gui_make_user_interface(
    fw::UserInterface* ui) {
  if (!fw::openGtkDisplay()) {
    return false;
  }
  ui->loop = std::make_unique<fw::GtkRunLoop>();
  ui->renderer = std::make_unique<fw::GtkWindowRenderer>(*ui->loop);
  return true;
}

// The loader finds the entry point by this name and calls it through this type.
static_assert(std::string_view(fw::kGuiModuleEntryPoint) == "bi_gui_make_user_interface");
static_assert(std::is_same_v<decltype(&bi_gui_make_user_interface), fw::GuiModuleEntry>);
