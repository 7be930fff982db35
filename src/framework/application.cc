#include "framework/application.h"

#include "framework/termination.h"
#include "framework/user_interface.h"

namespace fw {

int applicationMain(const MainInterfaceLoader& loadMainInterface) {
  const UserInterface ui = makeUserInterface();
  Application application(*ui.loop);
  std::unique_ptr<MainInterface> mainInterface = loadMainInterface(application, *ui.renderer);
  Window& window = mainInterface->window();
  termination::install();
  ui.loop->watchReadable(termination::fd(), [&] {
    ui.loop->unwatch(termination::fd());
    window.close();
  });
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
