#include "framework/ui/terminal_renderer.h"

#include <gtest/gtest.h>

#include "framework/loop/poll_run_loop.h"

namespace {

class NullRenderer : public fw::WindowRenderer {
 public:
  void show(fw::Window&) override {}
  void setNeedsDisplay(fw::Window&) override {}
  void close(fw::Window&) override {}
  bool canUserClose() const override { return true; }
};

}  // namespace

TEST(TerminalRendererTest, DrawsBarStatusAndButton) {
  NullRenderer renderer;
  fw::Window window("Installer", renderer);
  window.progressIndicator().setIndeterminate(false);
  window.progressIndicator().setMaxValue(200);
  window.progressIndicator().setDoubleValue(50);
  window.statusText().setStringValue("Downloading");
  window.button().setTitle("Cancel");
  window.button().setKeyEquivalent("\r");
  const auto lines = fw::TerminalRenderer::render(window, 24, false, 0, true);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(" Installer", lines[0]);
  EXPECT_EQ(" [#####---------------]", lines[1]);  // a quarter of 20 cells
  EXPECT_EQ(" Downloading", lines[2]);
  EXPECT_EQ(" [ Cancel ]  Return", lines[3]);
}

TEST(TerminalRendererTest, FailureIsRedAndSpreadOverItsLines) {
  NullRenderer renderer;
  fw::Window window("Installer", renderer);
  window.progressIndicator().setIndeterminate(false);
  window.progressIndicator().setDoubleValue(100);
  window.statusText().setStringValue("first\nsecond");
  window.statusText().setTextColor(fw::Color::kRed);
  window.button().setTitle("Close");
  const auto lines = fw::TerminalRenderer::render(window, 24, true, 0, false);
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ(" [####################]", lines[1]);
  EXPECT_EQ(" \033[31mfirst\033[0m", lines[2]);
  EXPECT_EQ(" \033[31msecond\033[0m", lines[3]);
  EXPECT_EQ(" [ Close ]", lines[4]);
}

TEST(TerminalRendererTest, IndeterminateBarMovesOnlyWhenAnimated) {
  NullRenderer renderer;
  fw::Window window("Installer", renderer);
  window.progressIndicator().setIndeterminate(true);
  const auto still = fw::TerminalRenderer::render(window, 24, false, 5, false);
  EXPECT_EQ(" [--------------------]", still[1]);
  window.progressIndicator().startAnimation();
  const auto first = fw::TerminalRenderer::render(window, 24, false, 0, false);
  const auto later = fw::TerminalRenderer::render(window, 24, false, 3, false);
  EXPECT_EQ(" [####----------------]", first[1]);
  EXPECT_EQ(" [---####-------------]", later[1]);
}

TEST(TerminalRendererTest, EmptyBodyDoesNotDivideByZero) {
  NullRenderer renderer;
  fw::Window window("Installer", renderer);
  window.progressIndicator().setIndeterminate(false);
  window.progressIndicator().setMaxValue(0);
  const auto lines = fw::TerminalRenderer::render(window, 24, false, 0, false);
  EXPECT_EQ(" [--------------------]", lines[1]);
}
