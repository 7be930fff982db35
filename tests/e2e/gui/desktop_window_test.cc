// The download window as a desktop user meets it: the built program with its GTK module in a
// bundle, on the X server that xvfb-run starts for each test, against bi-endpoint on 127.0.0.1.
// The window is found with xdotool, read from its pixels with ImageMagick, and driven with Return
// and a close request, as a person and a window manager would.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// The bar's fill: the desktop theme's accent blue.
const std::string kBarFill = "#3584e4";

// What a shell command writes to standard output, without its last newline.
std::string output(const std::string& command) {
  const std::string out = runProcess({"/bin/sh", "-c", command}).out;
  return out.substr(0, out.find_last_not_of('\n') + 1);
}

// The box round the window's pixels of `colour`, "WxH+X+Y"; "0x0+..." when there are none.
std::string find(const std::string& window, const std::string& colour) {
  return output("import -silent -window " + window + " png:- | convert png:- -fuzz 10% " +
                "-fill black +opaque '" + colour + "' -format %@ info:");
}

class GuiWindowTest : public ProgramTest {
 protected:
  GuiWindowTest() : ProgramTest(Layout::kApp) {
    std::filesystem::copy_file(BI_GUI_MODULE_PATH, module_);
  }

  // Starts the program on the test's display against bi-endpoint told `serverArgs`.
  void startOnDisplay(const std::vector<std::string>& serverArgs, Env env = {}) {
    server_ = std::make_unique<Endpoint>(archive_, serverArgs);
    setEndpointUrl(server_->url());
    env.try_emplace("DISPLAY", std::getenv("DISPLAY"));
    // Under AddressSanitizer, the lasting caches of the libraries under GTK are not our leaks.
    env["LSAN_OPTIONS"] = "print_suppressions=0:suppressions=" BI_LSAN_GUI_SUPPRESSIONS;
    program_ = start({}, env);
  }

  // The program's viewable window; "" while it has none.
  std::string window() const {
    return output("xdotool search --onlyvisible --pid " + std::to_string(program_->pid()));
  }
  std::string waitForWindow() const {
    std::string id;
    EXPECT_TRUE(waitUntil([&] { return !(id = window()).empty(); })) << startedErr();
    return id;
  }

  void expectCleanFailure() const {
    const int status = program_->wait();
    expectFailedRun(status, startedErr());
  }

  std::string module_ = resources_ + "/../MacOS/bootstrap-installer-gtk.so";
  std::unique_ptr<Endpoint> server_;
  std::unique_ptr<Child> program_;
};

}  // namespace

// Tests a whole run: the splash (200 x 100) drawn scaled to fit 400 x 400; the bar growing with
// the download, then pulsing while the archive is unpacked, when Return does nothing (the
// button is off); and no window of the program on screen once the install agent runs.
TEST_F(GuiWindowTest, ShowsEachStepAndIsGoneWhenTheAgentRuns) {
  ASSERT_EQ(0, runShell("convert -size 200x100 xc:seagreen '" + resources_ + "/splash.png'"));
  makeZip(archive_, {{"install",
                      "echo run >> \"$BI_RECORD.runs\"\n"
                      "while [ ! -e \"$BI_RECORD.leave\" ]; do sleep 0.02; done\n"}});
  const std::string unzip = root_ / "bin/unzip";  // waits for unzip.go
  writeFile(unzip,
            "touch \"$0.held\"\n"
            "while [ ! -e \"$0.go\" ]; do sleep 0.02; done\n"
            "exec /usr/bin/unzip \"$@\"\n",
            0755);
  startOnDisplay({"--rate", "100"}, {{"PATH", root_ / "bin:" + std::string(std::getenv("PATH"))}});
  const std::string id = waitForWindow();
  std::string splash;
  EXPECT_TRUE(waitUntil([&] { return (splash = find(id, "seagreen")).starts_with("400x200+"); }))
      << splash;
  std::set<int> widths;
  EXPECT_TRUE(waitUntil([&] {
    widths.insert(std::atoi(find(id, kBarFill).c_str()));
    return widths.size() > 3;
  })) << "the bar did not grow";

  ASSERT_TRUE(waitUntil([&] { return exists(unzip + ".held"); }));
  std::set<std::string> boxes;
  EXPECT_TRUE(waitUntil([&] {
    boxes.insert(find(id, kBarFill));
    return boxes.size() >= 3;
  })) << "the bar did not pulse";
  EXPECT_EQ(0, runShell("xdotool windowfocus --sync " + id + " key Return"));
  writeFile(unzip + ".go", "");

  ASSERT_TRUE(waitUntil([&] { return agentRuns() == 1; }));
  EXPECT_EQ("", window()) << "a window is on screen while the install agent runs";
  writeFile(record_ + ".leave", "");
  EXPECT_EQ(0, program_->wait()) << startedErr();
}

// Tests that a broken interface file in the bundle costs nothing but a log line; that a failure
// shows red text and waits for the person; and that Return presses the button, enabled again
// after the unpack (of what is no zip) failed.
TEST_F(GuiWindowTest, FailureShowsRedTextAndReturnCloses) {
  writeFile(resources_ + "/download_window.ui", "<interface><object class=");
  writeFile(root_ / "garbage", "this is no zip archive");
  startOnDisplay({"--body-file", root_ / "garbage"});
  const std::string id = waitForWindow();
  EXPECT_TRUE(waitUntil([&] { return !find(id, "#cc0000").starts_with("0x0"); }));
  EXPECT_FALSE(program_->exited()) << "a failure in a window waits for the person";
  EXPECT_EQ(0, runShell("xdotool windowfocus --sync " + id + " key Return"));
  expectCleanFailure();
  EXPECT_NE(std::string::npos, startedErr().find("; using the built-in window")) << startedErr();
}

// Tests that an interface file in the bundle's resources takes the place of the built-in one,
// and that a close request mid-transfer ends the run as a failure with nothing in the cache.
TEST_F(GuiWindowTest, BundleInterfaceFileIsUsedAndClosingCancels) {
  ASSERT_EQ(0, runShell("sed 's/>download</>from-the-bundle</' '" BI_GUI_UI_PATH "' > '" +
                        resources_ + "/download_window.ui'"));
  startOnDisplay({"--rate", "50"});
  const std::string id = waitForWindow();
  EXPECT_EQ("WM_WINDOW_ROLE = \"from-the-bundle\"",
            output("xprop -notype -id " + id + " WM_WINDOW_ROLE"));
  ASSERT_TRUE(waitUntil([&] { return !find(id, kBarFill).starts_with("0x0"); }));
  EXPECT_EQ(0, runShell("/usr/bin/python3 " BI_CLOSE_WINDOW_SCRIPT " " + id));
  expectCleanFailure();
  expectNoInstallAgent();
}

// Tests that a display that cannot be opened leaves the window to the terminal.
TEST_F(GuiWindowTest, UnopenableDisplayFallsBackToTheTerminal) {
  startOnDisplay({}, {{"DISPLAY", ":65000"}});
  EXPECT_EQ(0, program_->wait());
  EXPECT_EQ("Downloading\nInitializing the installer\n", startedErr());
}
