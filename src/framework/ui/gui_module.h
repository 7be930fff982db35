#ifndef SRC_FRAMEWORK_UI_GUI_MODULE_H_
#define SRC_FRAMEWORK_UI_GUI_MODULE_H_

#include "framework/ui/user_interface.h"

namespace fw {

// The desktop window is drawn by a module that the program loads only when a display is named,
// so that a run without one never maps a GUI toolkit. The module lies beside the executable
// and exports one C entry point of type GuiModuleEntry.

inline constexpr char kGuiModuleFileName[] = "bootstrap-installer-gtk.so";
inline constexpr char kGuiModuleEntryPoint[] = "bi_gui_make_user_interface";

/// The module's entry point: fills in `ui` with its event loop and window renderer and returns
/// true, or returns false with `ui` untouched when the toolkit cannot open the display.
using GuiModuleEntry = bool (*)(UserInterface* ui);

/// Whether DISPLAY or WAYLAND_DISPLAY is set to a non-empty value.
bool displayIsNamed();

/// The path where the module is looked for: in the directory that holds the running executable
/// (for X.app/Contents/MacOS/setup, that MacOS directory). Empty when /proc/self/exe cannot be
/// read.
std::string guiModulePath();

/// Loads the module and lets it fill in `ui`. Returns false, with `ui` untouched, when no
/// display is named, there is no module, it cannot be loaded (logged), or its toolkit cannot open
/// the display. A module once loaded stays loaded: its toolkit cannot be unloaded.
bool loadGuiUserInterface(UserInterface* ui);

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_GUI_MODULE_H_
