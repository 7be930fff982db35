#ifndef SRC_FRAMEWORK_UI_TERMINAL_RENDERER_H_
#define SRC_FRAMEWORK_UI_TERMINAL_RENDERER_H_

#include <chrono>
#include <string>
#include <vector>

#include "framework/loop/run_loop.h"
#include "framework/ui/window.h"

namespace fw {

/// Draws a window on standard error. On a terminal the window is redrawn in place (a few times
/// a second at most while only the bar and the detail line change), failure text in red, the
/// detail line under the status text when there is one, and Return on a terminal standard input
/// presses the button; the terminal's settings are never changed. Elsewhere it writes one line
/// per change of status text, and nothing of the detail line.
class TerminalRenderer : public WindowRenderer {
 public:
  /// `inputFd` and `outputFd` are standard input and standard error unless a test says else.
  explicit TerminalRenderer(RunLoop& loop, int inputFd = 0, int outputFd = 2);
  ~TerminalRenderer() override;
  TerminalRenderer(const TerminalRenderer&) = delete;
  TerminalRenderer& operator=(const TerminalRenderer&) = delete;

  void show(Window& window) override;
  void setNeedsDisplay(Window& window) override;
  void close(Window& window) override;
  bool canUserClose() const override { return interactiveInput_; }

  /// The lines that stand for the window, each cut to `columns` columns of a terminal (by whole
  /// UTF-8 characters), without colour codes when `colour` is false.
  static std::vector<std::string> render(const Window& window, size_t columns, bool colour,
                                         int animationPhase, bool showKeyHint);

 private:
  void draw(Window& window);
  void scheduleAnimation(Window& window);
  void onInput(Window& window);
  void stopInput();
  size_t columns() const;

  RunLoop& loop_;
  const int inputFd_;
  const int outputFd_;
  const bool interactiveOutput_;
  const bool interactiveInput_;
  bool inputStopped_ = false;
  Window* shown_ = nullptr;
  std::string lastStatusLine_;  // line mode: the status text last written
  std::string lastSignature_;   // live mode: what, besides the bar, was last drawn
  bool drawPending_ = false;
  bool animationScheduled_ = false;
  int animationPhase_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_TERMINAL_RENDERER_H_
