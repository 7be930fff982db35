#ifndef SRC_FRAMEWORK_UI_DELAYED_RENDERER_H_
#define SRC_FRAMEWORK_UI_DELAYED_RENDERER_H_

#include <functional>
#include <memory>

#include "framework/loop/run_loop.h"
#include "framework/ui/window.h"

namespace fw {

/// Puts a window on screen only once it has stayed open for a while, so that a run that ends
/// sooner shows nothing at all and never makes the renderer that would have drawn it. The
/// renderer is made and prepared halfway through the wait, so that a toolkit that takes a moment
/// to start has started, and the window is ready, when it is due; a window that must be seen now
/// (it waits for the person: Window::display()) is put on screen at once. Once on screen,
/// everything goes to the renderer made. Main thread only.
class DelayedRenderer : public WindowRenderer {
 public:
  using Maker = std::function<std::unique_ptr<WindowRenderer>()>;

  /// `makeRenderer` makes the renderer that draws the window; called once at most.
  DelayedRenderer(RunLoop& loop, double delaySeconds, Maker makeRenderer);
  DelayedRenderer(const DelayedRenderer&) = delete;
  DelayedRenderer& operator=(const DelayedRenderer&) = delete;

  void show(Window& window) override;
  void setNeedsDisplay(Window& window) override;
  void displayNow(Window& window) override;
  void close(Window& window) override;
  /// The made renderer's answer once the window is on screen; false before (nobody sees it).
  bool canUserClose() const override;

 private:
  WindowRenderer& renderer();
  void putOnScreen(Window& window);

  RunLoop& loop_;
  const double delaySeconds_;
  Maker makeRenderer_;
  std::unique_ptr<WindowRenderer> renderer_;
  Window* waiting_ = nullptr;  // shown by the model, not yet on screen
  Window* onScreen_ = nullptr;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_DELAYED_RENDERER_H_
