// The download window as a desktop user meets it: the built program and its GTK module, copied
// into a bundle, run on a virtual X server against bi-endpoint on 127.0.0.1; what the window
// shows is read from its pixels, and it is driven through the keyboard and a close request, as
// a person and a window manager would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "e2e/gui_fixture.h"
#include "support/files.h"

using namespace testing_support;

namespace {

// The install agent of the "no window left" test: it says that it runs, then waits for leave.
const char* const kWaitingAgent =
    "echo run >> \"$BI_RECORD.runs\"\n"
    "while [ ! -e \"$BI_RECORD.leave\" ]; do sleep 0.02; done\n";

class GuiWindowTest : public GuiRunTest {};

bool showsSplash(const WindowCapture& capture) {
  return capture.count(isSplashPixel) > 0;
}

bool showsRedText(const WindowCapture& capture) {
  return capture.count(isRedPixel) >= 20;
}

int barFillWidth(const WindowCapture& capture) {
  return capture.boundingBox(isBarFillPixel).width;
}

}  // namespace

// Tests that the splash (200 x 100 points) is drawn scaled, keeping its proportions, to fit
// 400 x 400: 400 x 200.
TEST_F(GuiWindowTest, ShowsTheSplashScaledToFit) {
  addSplash();
  makeArchive(2'000'000);
  EndpointServer server(archive_, {"--rate", "400000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(*program, showsSplash);
  ASSERT_TRUE(window);
  const WindowCapture::Box splash = x_.capture(*window).boundingBox(isSplashPixel);
  EXPECT_EQ(400, splash.width);
  EXPECT_EQ(200, splash.height);
  EXPECT_EQ("Installer", x_.stringProperty(*window, "WM_NAME"));
  x_.requestClose(*window);
  expectCleanFailure(waitForExit(*program));
}

// Tests that the bar advances during a throttled download, and that no window is left on
// screen once the install agent runs.
TEST_F(GuiWindowTest, BarAdvancesAndTheWindowIsGoneWhenTheAgentRuns) {
  makeArchive(1'200'000, kWaitingAgent);
  EndpointServer server(archive_, {"--rate", "600000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(
      *program, [](const WindowCapture& capture) { return barFillWidth(capture) > 0; });
  ASSERT_TRUE(window);
  std::vector<int> widths;
  waitUntil([&] {
    const int width = barFillWidth(x_.capture(*window));
    if (width > 0 && (widths.empty() || width > widths.back())) {
      widths.push_back(width);
    }
    return !x_.isViewable(*window);
  });
  EXPECT_GE(widths.size(), 4u) << "the bar moved in too few steps";
  ASSERT_FALSE(widths.empty());
  EXPECT_LT(widths.front(), 200);
  EXPECT_GT(widths.back(), 300);

  ASSERT_TRUE(waitUntil([&] { return sandbox_.agentRuns() == 1; }));
  // GTK keeps windows that are never shown (its client leader); the download window is gone.
  EXPECT_FALSE(x_.exists(*window)) << "the download window is left while the agent runs";
  for (const XDisplay::WindowId other : x_.windowsOfProcess(program->pid())) {
    EXPECT_FALSE(x_.isViewable(other)) << "a window is on screen while the agent runs";
  }
  writeFile(sandbox_.record + ".leave", "");
  EXPECT_EQ(0, waitForExit(*program)) << errorOutput();
}

// Tests that a status failure shows red text and that Return presses the button (then Close).
TEST_F(GuiWindowTest, StatusFailureShowsRedTextAndReturnCloses) {
  makeArchive(1000);
  EndpointServer server(archive_, {"--status", "404"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(*program, showsRedText);
  ASSERT_TRUE(window);
  EXPECT_FALSE(program->hasExited()) << "a failure in a window waits for the person";
  x_.pressReturn(*window);
  expectCleanFailure(waitForExit(*program));
  EXPECT_NE(std::string::npos, errorOutput().find("Download failed with http error code- 404"));
}

// Tests that the window's close control, mid-transfer, ends the run as a failure.
TEST_F(GuiWindowTest, ClosingTheWindowMidTransferFails) {
  makeArchive(4'000'000);
  EndpointServer server(archive_, {"--rate", "400000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(
      *program, [](const WindowCapture& capture) { return barFillWidth(capture) > 0; });
  ASSERT_TRUE(window);
  x_.requestClose(*window);
  expectCleanFailure(waitForExit(*program));
  EXPECT_FALSE(
      exists(sandbox_.home + "/.velmora/app_installer_cache/V3107c/korvex/installagent/install"));
}

// Tests that while the archive is unpacked the bar pulses (the window changes by itself) and
// the button is disabled: Return does nothing.
TEST_F(GuiWindowTest, InstallingPulsesAndIgnoresReturn) {
  makeArchive(1000);
  holdUnzip();
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(
      *program, [](const WindowCapture& capture) { return barFillWidth(capture) > 0; });
  ASSERT_TRUE(window);
  // The pulse block moves: the bar's fill is seen at more than one place.
  std::set<int> places;
  waitUntil([&] {
    places.insert(x_.capture(*window).boundingBox(isBarFillPixel).x);
    return places.size() >= 3;
  });
  EXPECT_GE(places.size(), 3u);
  x_.pressReturn(*window);
  EXPECT_FALSE(waitUntil([&] { return program->hasExited(); }, std::chrono::milliseconds(300)));
  releaseUnzip();
  EXPECT_EQ(0, waitForExit(*program)) << errorOutput();
  EXPECT_EQ(1, sandbox_.agentRuns());
}

// Tests that an interface file in the bundle's resources takes the place of the built-in one,
// in an application bundle, with the module in Contents/MacOS.
TEST_F(GuiWindowTest, BundleInterfaceFileIsUsed) {
  program_ = installAppWithGui(root_ / "apps", "Example.app");
  std::string ui = readFile(BI_GUI_UI_PATH);
  const std::string role = "<property name=\"role\">download</property>";
  ASSERT_NE(std::string::npos, ui.find(role));
  ui.replace(ui.find(role), role.size(), "<property name=\"role\">from-the-bundle</property>");
  writeFile(program_.resources + "/download_window.ui", ui);
  makeArchive(2'000'000);
  EndpointServer server(archive_, {"--rate", "400000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = x_.waitForViewableWindow(program->pid());
  ASSERT_TRUE(window) << errorOutput();
  EXPECT_EQ("from-the-bundle", x_.stringProperty(*window, "WM_WINDOW_ROLE"));
  x_.requestClose(*window);
  expectCleanFailure(waitForExit(*program));
}

// Tests that a broken interface file in the bundle costs nothing but a log line.
TEST_F(GuiWindowTest, BrokenBundleInterfaceFileFallsBackToTheBuiltInOne) {
  writeFile(program_.resources + "/download_window.ui", "<interface><object class=");
  makeArchive(2'000'000);
  EndpointServer server(archive_, {"--rate", "400000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = x_.waitForViewableWindow(program->pid());
  ASSERT_TRUE(window) << errorOutput();
  EXPECT_EQ("download", x_.stringProperty(*window, "WM_WINDOW_ROLE"));
  x_.requestClose(*window);
  expectCleanFailure(waitForExit(*program));
  EXPECT_NE(std::string::npos, errorOutput().find("; using the built-in window")) << errorOutput();
}

// Tests that a display that cannot be opened leaves the run to the terminal renderer.
TEST_F(GuiWindowTest, FallsBackToTheTerminalWhenTheDisplayCannotBeOpened) {
  makeArchive(1000);
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start({{"DISPLAY", ":65000"}});
  EXPECT_EQ(0, waitForExit(*program));
  EXPECT_EQ("Downloading\nInitializing the installer\n", errorOutput());
}

// Tests that without the module beside it the program draws on the terminal, display or not.
TEST_F(GuiWindowTest, FallsBackToTheTerminalWithoutTheModule) {
  ASSERT_EQ(0, ::unlink((root_ / "app/bootstrap-installer-gtk.so").c_str()));
  makeArchive(1000);
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  EXPECT_EQ(0, waitForExit(*program));
  EXPECT_EQ("Downloading\nInitializing the installer\n", errorOutput());
}

// Tests that SIGTERM reaches GTK's loop as it reaches the terminal's: the window closes and the
// run fails in order.
TEST_F(GuiWindowTest, SigtermClosesTheWindow) {
  makeArchive(4'000'000);
  EndpointServer server(archive_, {"--rate", "400000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(
      *program, [](const WindowCapture& capture) { return barFillWidth(capture) > 0; });
  ASSERT_TRUE(window);
  ::kill(program->pid(), SIGTERM);
  expectCleanFailure(waitForExit(*program));
  EXPECT_FALSE(x_.exists(*window));
}
