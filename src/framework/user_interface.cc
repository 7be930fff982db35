#include "framework/user_interface.h"

#include "framework/gui_module.h"
#include "framework/poll_run_loop.h"
#include "framework/terminal_renderer.h"

namespace fw {

UserInterface makeUserInterface() {
  UserInterface ui;
  // A desktop window where a display is named and the GTK module can open it.
  if (loadGuiUserInterface(&ui)) {
    return ui;
  }
  ui.loop = std::make_unique<PollRunLoop>();
  ui.renderer = std::make_unique<TerminalRenderer>(*ui.loop);
  return ui;
}

}  // namespace fw
