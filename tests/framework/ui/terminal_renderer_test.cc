#include "framework/ui/terminal_renderer.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "framework/base/unique_fd.h"
#include "framework/loop/poll_run_loop.h"

TEST(TerminalRendererTest, Render) {
  // clang-format off
  const std::tuple<double, double, int, const char*, bool, bool, bool, unsigned short, std::vector<std::string>, const char*> rows[] = {
      // value (negative: indeterminate), maximum, animation phase (negative: none), status text, red,
      // button enabled, colour and key hint, columns; then the lines; the detail text
      {50, 200, -1, "Downloading", false, true, true, 24, {" Installer", " [#####---------------]", " Downloading", " 50 bytes of 200 bytes", " [ Cancel ]  Return"}, "50 bytes of 200 bytes"},
      {900, 200, -1, "", false, true, false, 24, {" Installer", " [####################]", " ", " [ Cancel ]"}, ""},
      {200, 200, -1, "first\nsecond", true, true, true, 24, {" Installer", " [####################]", " \033[31mfirst\033[0m", " \033[31msecond\033[0m", " [ Cancel ]  Return"}, ""},
      {50, 0, -1, "failed", true, true, false, 24, {" Installer", " [--------------------]", " failed", " [ Cancel ]"}, ""},
      {0, 200, -1, "x", false, false, true, 24, {" Installer", " [--------------------]", " x", " \033[2m[ Cancel ]\033[0m"}, ""},
      {-1, 200, -1, "x", false, true, false, 24, {" Installer", " [--------------------]", " x", " [ Cancel ]"}, ""},
      {-1, 200, 3, "x", false, true, false, 24, {" Installer", " [---####-------------]", " x", " [ Cancel ]"}, ""},
      {-1, 200, 20, "x", false, true, false, 24, {" Installer", " [------------####----]", " x", " [ Cancel ]"}, ""},  // bounced back
      // Cut to the width by whole characters: é and its combining accent take one column, 漢 two.
      {50, 200, -1, "Initializing the installer", false, true, true, 14, {" Installer", " [##--------]", " Initializing ", " 12.5\u00a0MB of 20", " [ Cancel ]  R"}, "12.5\u00a0MB of 200.0\u00a0MB"},
      {0, 200, -1, "Cafe\u0301 漢字漢字漢", true, true, true, 14, {" Installer", " [----------]", " \033[31mCafe\u0301 漢字漢字\033[0m", " [ Cancel ]  R"}, ""},
      {0, 200, -1, "Caf\u00e9 漢字漢字", false, false, true, 13, {" Installer", " [----------]", " Caf\u00e9 漢字漢", " \033[2m[ Cancel ]\033[0m"}, ""}};
  // clang-format on
  for (const auto& [value, max, phase, status, red, enabled, colour, columns, lines, detail] :
       rows) {
    // A terminal one column wider than the lines (the renderer leaves the last one free), and a
    // pipe that keeps, as the terminal's standard error, what is written in the order written.
    int pty = -1, terminal = -1, written[2] = {-1, -1};
    const winsize size{24, static_cast<unsigned short>(columns + 1), 0, 0};
    ASSERT_EQ(0, ::openpty(&pty, &terminal, nullptr, nullptr, &size));
    ASSERT_EQ(0, ::pipe(written));
    const fw::UniqueFd owned[] = {fw::UniqueFd(pty), fw::UniqueFd(terminal),
                                  fw::UniqueFd(written[0]), fw::UniqueFd(written[1])};
    fw::PollRunLoop loop;
    fw::TerminalRenderer renderer(loop, terminal, terminal);
    fw::Window window("Installer", renderer);
    window.progressIndicator().setIndeterminate(value < 0);
    window.progressIndicator().setMaxValue(max);
    window.progressIndicator().setDoubleValue(value);
    if (phase >= 0) {
      window.progressIndicator().startAnimation();
    }
    window.statusText().setStringValue(status);
    window.statusText().setTextColor(red ? fw::Color::kRed : fw::Color::kText);
    window.detailText().setStringValue(detail);
    window.button().setTitle("Cancel");
    window.button().setKeyEquivalent("\r");
    window.button().setEnabled(enabled);
    EXPECT_EQ(lines,
              fw::TerminalRenderer::render(window, columns, colour, std::max(phase, 0), colour));
    if (colour && phase <= 0) {  // on a terminal, a window is drawn in colour from its first phase
      // Drawn on the terminal, then erased as it closes: the cursor is back where it began.
      const fw::UniqueFd standardError(::dup(2));
      ::dup2(written[1], 2);
      window.makeKeyAndOrderFront();
      window.close();
      ::dup2(standardError.get(), 2);
      std::string drawn;
      for (const std::string& line : lines) {
        drawn += line + "\033[K\n";
      }
      std::string text(4096, '\0');
      text.resize(static_cast<size_t>(std::max(0L, ::read(written[0], text.data(), 4096))));
      EXPECT_EQ(drawn + "\r\033[" + std::to_string(lines.size()) + "A\033[J", text);
    }
  }
}
