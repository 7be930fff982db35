#include "framework/ui/application.h"

#include <unistd.h>

#include "framework/loop/poll_run_loop.h"
#include "framework/os/termination.h"
#include "framework/ui/delayed_renderer.h"
#include "framework/ui/gui_module.h"
#include "framework/ui/terminal_renderer.h"

namespace fw {

namespace {

// A desktop window where a display is named and the GTK module can open it; otherwise the
// window is drawn on the terminal. Either only once the window has stayed open for the delay,
// so that a quick run neither flashes a window nor starts a toolkit; but lines written to a file
// or a pipe are the run's record, not a drawing, and are written from the start.
std::unique_ptr<WindowRenderer> makeRenderer(PollRunLoop& loop, double delaySeconds) {
  auto make = [&loop]() -> std::unique_ptr<WindowRenderer> {
    if (std::unique_ptr<WindowRenderer> desktop = loadGuiRenderer(loop)) {
      return desktop;
    }
    return std::make_unique<TerminalRenderer>(loop);
  };
  if (!guiModuleWanted() && ::isatty(STDERR_FILENO) != 1) {
    return make();
  }
  return std::make_unique<DelayedRenderer>(loop, delaySeconds, make);
}

}  // namespace

int applicationMain(const MainInterfaceLoader& loadMainInterface, double windowDelaySeconds) {
  PollRunLoop loop;
  // After the loop, so that it goes first: a desktop window's context is served by the loop.
  const std::unique_ptr<WindowRenderer> renderer = makeRenderer(loop, windowDelaySeconds);
  Application application(loop);
  std::unique_ptr<MainInterface> mainInterface = loadMainInterface(application, *renderer);
  Window& window = mainInterface->window();
  // A termination signal closes the window (the handlers are the process's, set up by main).
  if (termination::fd() >= 0) {
    loop.watchReadable(termination::fd(), [&] {
      loop.unwatch(termination::fd());
      window.close();
    });
  }
  loop.addTimer(0, [&] {
    window.makeKeyAndOrderFront();
    if (application.delegate() != nullptr) {
      application.delegate()->applicationDidFinishLaunching();
    }
  });
  loop.run();
  // No window stays on screen, frozen, once the loop no longer serves it.
  window.close();
  mainInterface.reset();
  return application.exitStatus();
}

}  // namespace fw
