#include "framework/ui/terminal_renderer.h"

#include <gtest/gtest.h>

#include "framework/loop/poll_run_loop.h"

namespace {

struct State {
  const char* name;
  double value, max;  // value below 0: indeterminate
  int phase;          // of the animation; below 0: none
  const char* status;
  bool red, enabled, colour;       // colour also shows the key hint
  std::vector<std::string> lines;  // below the title, 24 columns wide: a bar of 20 cells
};

// The row's name, for the test's name in CTest.
void PrintTo(const State& state, std::ostream* out) {
  *out << state.name;
}

// clang-format off
const State kStates[] = {
    {"Quarter", 50, 200, -1, "Downloading", false, true, true, {" [#####---------------]", " Downloading", " [ Cancel ]  Return"}},
    {"OverFull", 900, 200, -1, "", false, true, false, {" [####################]", " ", " [ Cancel ]"}},
    {"FailedRedOnEachLine", 200, 200, -1, "first\nsecond", true, true, true, {" [####################]", " \033[31mfirst\033[0m", " \033[31msecond\033[0m", " [ Cancel ]  Return"}},
    {"RedWithoutColourNoMaximum", 50, 0, -1, "failed", true, true, false, {" [--------------------]", " failed", " [ Cancel ]"}},
    {"DisabledIsDimWithoutHint", 0, 200, -1, "x", false, false, true, {" [--------------------]", " x", " \033[2m[ Cancel ]\033[0m"}},
    {"IndeterminateStill", -1, 200, -1, "x", false, true, false, {" [--------------------]", " x", " [ Cancel ]"}},
    {"IndeterminateStart", -1, 200, 0, "x", false, true, false, {" [####----------------]", " x", " [ Cancel ]"}},
    {"IndeterminateMoves", -1, 200, 3, "x", false, true, false, {" [---####-------------]", " x", " [ Cancel ]"}},
    {"IndeterminateBouncesBack", -1, 200, 20, "x", false, true, false, {" [------------####----]", " x", " [ Cancel ]"}},
};
// clang-format on

class TerminalRendererTest : public testing::TestWithParam<State> {};

TEST_P(TerminalRendererTest, Render) {
  const State& state = GetParam();
  fw::PollRunLoop loop;
  fw::TerminalRenderer renderer(loop, -1, -1);  // draws nothing: the window is never shown
  fw::Window window("Installer", renderer);
  window.progressIndicator().setIndeterminate(state.value < 0);
  window.progressIndicator().setMaxValue(state.max);
  window.progressIndicator().setDoubleValue(state.value);
  if (state.phase >= 0) {
    window.progressIndicator().startAnimation();
  }
  window.statusText().setStringValue(state.status);
  window.statusText().setTextColor(state.red ? fw::Color::kRed : fw::Color::kText);
  window.button().setTitle("Cancel");
  window.button().setKeyEquivalent("\r");
  window.button().setEnabled(state.enabled);
  std::vector<std::string> expected = {" Installer"};
  expected.insert(expected.end(), state.lines.begin(), state.lines.end());
  EXPECT_EQ(expected, fw::TerminalRenderer::render(window, 24, state.colour,
                                                   std::max(state.phase, 0), state.colour));
}

INSTANTIATE_TEST_SUITE_P(States, TerminalRendererTest, testing::ValuesIn(kStates),
                         [](const testing::TestParamInfo<State>& row) { return row.param.name; });

}  // namespace
