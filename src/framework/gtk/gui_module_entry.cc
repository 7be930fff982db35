// The one entry point of bootstrap-installer-gtk.so, which the program loads only when a display
// is named and its window is wanted (see framework/gui_module.h). Everything else in the module
// is hidden; what it uses of the framework, the program exports.

#include <memory>
#include <string_view>
#include <type_traits>

#include "framework/gtk/glib_context_source.h"
#include "framework/gtk/gtk_display.h"
#include "framework/gtk/gtk_window_renderer.h"
#include "framework/ui/gui_module.h"

namespace {

// The desktop window with the GLib context that it is drawn on, served by the program's loop
// for as long as the window's renderer lives.
class DesktopRenderer : public fw::WindowRenderer {
 public:
  explicit DesktopRenderer(fw::PollRunLoop& loop) : context_(loop), renderer_(loop) {}

  void show(fw::Window& window) override { renderer_.show(window); }
  void prepare(fw::Window& window) override { renderer_.prepare(window); }
  void setNeedsDisplay(fw::Window& window) override { renderer_.setNeedsDisplay(window); }
  void close(fw::Window& window) override { renderer_.close(window); }
  bool canUserClose() const override { return renderer_.canUserClose(); }

 private:
  fw::GlibContextSource context_;
  fw::GtkWindowRenderer renderer_;  // goes first, while its context is still served
};

}  // namespace

extern "C" __attribute__((visibility("default"))) bool bi_gui_make_window_renderer(
    fw::PollRunLoop* loop, std::unique_ptr<fw::WindowRenderer>* renderer) {
  if (!fw::openGtkDisplay()) {
    return false;
  }
  *renderer = std::make_unique<DesktopRenderer>(*loop);
  return true;
}

// The loader finds the entry point by this name and calls it through this type.
static_assert(std::string_view(fw::kGuiModuleEntryPoint) == "bi_gui_make_window_renderer");
static_assert(std::is_same_v<decltype(&bi_gui_make_window_renderer), fw::GuiModuleEntry>);
