#ifndef SRC_FRAMEWORK_UI_USER_INTERFACE_H_
#define SRC_FRAMEWORK_UI_USER_INTERFACE_H_

#include <memory>

#include "framework/loop/run_loop.h"
#include "framework/ui/window.h"

namespace fw {

/// The event loop and the window renderer that go together: GTK's loop and a desktop window
/// (framework/ui/gui_module.h), or a poll() loop and the terminal renderer. The renderer is
/// declared last, so that it goes before the loop that it uses.
struct UserInterface {
  std::unique_ptr<RunLoop> loop;
  std::unique_ptr<WindowRenderer> renderer;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_USER_INTERFACE_H_
