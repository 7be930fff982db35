#ifndef SRC_FRAMEWORK_UI_GUI_MODULE_H_
#define SRC_FRAMEWORK_UI_GUI_MODULE_H_

#include <memory>
#include <string>
#include <string_view>

#include "framework/loop/poll_run_loop.h"
#include "framework/ui/window.h"

namespace fw {

// The desktop window is drawn by a module that the program carries inside itself and loads from
// memory only when a display is named, so that a run without one never maps a GUI toolkit and
// the program is one file. The module exports one C entry point of type GuiModuleEntry.

inline constexpr char kGuiModuleEntryPoint[] = "bi_gui_make_window_renderer";

/// The module's entry point: sets `renderer` to a desktop window renderer, whose toolkit's
/// events `loop` serves from then on, and returns true; or returns false with `renderer`
/// untouched when the toolkit cannot open the display.
using GuiModuleEntry = bool (*)(PollRunLoop* loop, std::unique_ptr<WindowRenderer>* renderer);

/// The displays named by WAYLAND_DISPLAY and DISPLAY ("WAYLAND_DISPLAY=wayland-0 DISPLAY=:0"),
/// those set to a non-empty value; empty when there is none.
std::string namedDisplays();

/// The module's image as the program carries it; empty in a program built without it (the
/// tests' own executables).
std::string_view embeddedGuiModule();

/// Whether a desktop window can be tried: a display is named and the program carries the module.
bool guiModuleWanted(std::string_view image = embeddedGuiModule());

/// Loads the module `image` and returns its desktop window renderer, drawn on `loop`'s thread.
/// Returns null when no display is named or the image is empty, and when the module cannot be
/// loaded (no GTK) or its toolkit cannot open the display: then one log line says why there is
/// no window. A module once loaded stays loaded: its toolkit cannot be unloaded.
std::unique_ptr<WindowRenderer> loadGuiRenderer(PollRunLoop& loop,
                                                std::string_view image = embeddedGuiModule());

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_GUI_MODULE_H_
