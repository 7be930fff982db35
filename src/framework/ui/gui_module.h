#ifndef SRC_FRAMEWORK_UI_GUI_MODULE_H_
#define SRC_FRAMEWORK_UI_GUI_MODULE_H_

#include <string>
#include <string_view>

#include "framework/ui/user_interface.h"

namespace fw {

// The desktop window is drawn by a module that the program carries inside itself and loads from
// memory only when a display is named, so that a run without one never maps a GUI toolkit and
// the program is one file. The module exports one C entry point of type GuiModuleEntry.

inline constexpr char kGuiModuleEntryPoint[] = "bi_gui_make_user_interface";

/// The module's entry point: fills in `ui` with its event loop and window renderer and returns
/// true, or returns false with `ui` untouched when the toolkit cannot open the display.
using GuiModuleEntry = bool (*)(UserInterface* ui);

/// The displays named by WAYLAND_DISPLAY and DISPLAY ("WAYLAND_DISPLAY=wayland-0 DISPLAY=:0"),
/// those set to a non-empty value; empty when there is none.
std::string namedDisplays();

/// The module's image as the program carries it; empty in a program built without it (the
/// tests' own executables).
std::string_view embeddedGuiModule();

/// Loads the module `image` and lets it fill in `ui`. Returns false, with `ui` untouched, when
/// no display is named or the image is empty, and when the module cannot be loaded (no GTK) or
/// its toolkit cannot open the display: then one log line says why there is no window.
/// A module once loaded stays loaded: its toolkit cannot be unloaded.
bool loadGuiUserInterface(UserInterface* ui, std::string_view image = embeddedGuiModule());

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_GUI_MODULE_H_
