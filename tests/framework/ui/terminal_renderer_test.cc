#include "framework/ui/terminal_renderer.h"

#include <gtest/gtest.h>

#include "framework/loop/poll_run_loop.h"

TEST(TerminalRendererTest, Render) {
  // clang-format off
  const std::tuple<double, double, int, const char*, bool, bool, bool, std::vector<std::string>> rows[] = {
      // value (negative: indeterminate), maximum, animation phase (negative: none), status text, red,
      // button enabled, colour and key hint; then the lines below the title, 24 columns wide
      {50, 200, -1, "Downloading", false, true, true, {" [#####---------------]", " Downloading", " [ Cancel ]  Return"}},
      {900, 200, -1, "", false, true, false, {" [####################]", " ", " [ Cancel ]"}},
      {200, 200, -1, "first\nsecond", true, true, true, {" [####################]", " \033[31mfirst\033[0m", " \033[31msecond\033[0m", " [ Cancel ]  Return"}},
      {50, 0, -1, "failed", true, true, false, {" [--------------------]", " failed", " [ Cancel ]"}},
      {0, 200, -1, "x", false, false, true, {" [--------------------]", " x", " \033[2m[ Cancel ]\033[0m"}},
      {-1, 200, -1, "x", false, true, false, {" [--------------------]", " x", " [ Cancel ]"}},
      {-1, 200, 3, "x", false, true, false, {" [---####-------------]", " x", " [ Cancel ]"}},
      {-1, 200, 20, "x", false, true, false, {" [------------####----]", " x", " [ Cancel ]"}}};  // bounced back
  // clang-format on
  for (const auto& [value, max, phase, status, red, enabled, colour, lines] : rows) {
    fw::PollRunLoop loop;
    fw::TerminalRenderer renderer(loop, -1, -1);  // draws nothing: the window is never shown
    fw::Window window("Installer", renderer);
    window.progressIndicator().setIndeterminate(value < 0);
    window.progressIndicator().setMaxValue(max);
    window.progressIndicator().setDoubleValue(value);
    if (phase >= 0) {
      window.progressIndicator().startAnimation();
    }
    window.statusText().setStringValue(status);
    window.statusText().setTextColor(red ? fw::Color::kRed : fw::Color::kText);
    window.button().setTitle("Cancel");
    window.button().setKeyEquivalent("\r");
    window.button().setEnabled(enabled);
    std::vector<std::string> expected = {" Installer"};
    expected.insert(expected.end(), lines.begin(), lines.end());
    EXPECT_EQ(expected,
              fw::TerminalRenderer::render(window, 24, colour, std::max(phase, 0), colour));
  }
}
