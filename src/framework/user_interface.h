#ifndef SRC_FRAMEWORK_USER_INTERFACE_H_
#define SRC_FRAMEWORK_USER_INTERFACE_H_

#include <memory>

#include "framework/run_loop.h"
#include "framework/window.h"

namespace fw {

/// The event loop and the window renderer that go together. The renderer is declared last, so
/// that it goes before the loop that it uses.
struct UserInterface {
  std::unique_ptr<RunLoop> loop;
  std::unique_ptr<WindowRenderer> renderer;
};

/// A desktop window on GTK's loop when a display is named and the GTK module beside the program
/// can open it (framework/gui_module.h); otherwise the terminal renderer on a poll() loop.
UserInterface makeUserInterface();

}  // namespace fw

#endif  // SRC_FRAMEWORK_USER_INTERFACE_H_
