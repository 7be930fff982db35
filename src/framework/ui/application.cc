#include "framework/ui/application.h"

#include "framework/loop/poll_run_loop.h"
#include "framework/os/termination.h"
#include "framework/ui/gui_module.h"
#include "framework/ui/terminal_renderer.h"
#include "framework/ui/user_interface.h"

namespace fw {

namespace {

// A desktop window where a display is named and the GTK module can open it; otherwise the
// window is drawn on the terminal.
UserInterface makeUserInterface() {
  UserInterface ui;
  if (loadGuiUserInterface(&ui)) {
    return ui;
  }
  ui.loop = std::make_unique<PollRunLoop>();
  ui.renderer = std::make_unique<TerminalRenderer>(*ui.loop);
  return ui;
}

}  // namespace

int applicationMain(const MainInterfaceLoader& loadMainInterface) {
  const UserInterface ui = makeUserInterface();
  Application application(*ui.loop);
  std::unique_ptr<MainInterface> mainInterface = loadMainInterface(application, *ui.renderer);
  Window& window = mainInterface->window();
  // A termination signal closes the window (the handlers are the process's, set up by main).
  if (termination::fd() >= 0) {
    ui.loop->watchReadable(termination::fd(), [&] {
      ui.loop->unwatch(termination::fd());
      window.close();
    });
  }
  ui.loop->addTimer(0, [&] {
    window.makeKeyAndOrderFront();
    if (application.delegate() != nullptr) {
      application.delegate()->applicationDidFinishLaunching();
    }
  });
  ui.loop->run();
  // No window stays on screen, frozen, once the loop no longer serves it.
  window.close();
  mainInterface.reset();
  return application.exitStatus();
}

}  // namespace fw
