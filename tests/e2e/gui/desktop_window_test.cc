// The download window as a desktop user meets it: nothing but the built program in a bundle, on
// the X server that xvfb-run starts for each test, or on weston's headless Wayland compositor,
// against bi-endpoint on 127.0.0.1, each test in a D-Bus session of its own with the
// accessibility bus. Its pixels are read with ImageMagick, of the window that xdotool finds on X
// and of weston-screenshooter's whole screen on Wayland. On X it is also driven with keys and a
// close request, as a person and a window manager would: what needs those is X's alone
// (tests/CMakeLists.txt). On both, a screen reader's view of it is read and the window driven
// through the accessibility bus (support/atspi_window.py).

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

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

// The box round the pixels of `colour` in the PNG that the shell command `shot` writes,
// "WxH+X+Y"; "0x0+..." when there are none.
std::string find(const std::string& shot, const std::string& colour) {
  return output(shot + " | convert png:- -fuzz 10% -fill black +opaque '" + colour +
                "' -format %@ info:");
}

// WCAG 2 relative luminance of "#rrggbb": ImageMagick's, of the colour in linear RGB.
double luminance(const std::string& hex) {
  return std::stod(
      output("convert 'xc:" + hex + "' -colorspace RGB -format %[fx:luminance] info:"));
}

// The shot's commonest colour but black (the window's background; black is the bare screen
// round it on Wayland) and its commonest clearly red one (the failure text's core), as
// "#rrggbb", from ImageMagick's histogram.
std::pair<std::string, std::string> backgroundAndRed(const std::string& shot) {
  std::istringstream histogram(output(shot + " | convert png:- -format %c histogram:info:- | "
                                             "grep -v '#000000 ' | sort -rn | sed -E "
                                             "'s/^ *[0-9]+: \\(([0-9]+),([0-9]+),"
                                             "([0-9]+).*(#[0-9A-F]{6}).*/\\1 \\2 \\3 \\4/'"));
  std::string background;
  int r = 0;
  int g = 0;
  int b = 0;
  std::string hex;
  while (histogram >> r >> g >> b >> hex) {
    background = background.empty() ? hex : background;
    if (r > g + 80 && r > b + 80) {
      return {background, hex};
    }
  }
  return {background, ""};
}

bool onWayland() {
  return std::getenv("WAYLAND_DISPLAY") != nullptr;
}

class GuiWindowTest : public ProgramTest {
 protected:
  GuiWindowTest() : ProgramTest(Layout::kApp) {}

  // The test's display, as the program gets it.
  static Env display() {
    const char* name = onWayland() ? "WAYLAND_DISPLAY" : "DISPLAY";
    // Under AddressSanitizer, the lasting caches of the libraries under GTK are not our leaks.
    return {{name, std::getenv(name)},
            {"LSAN_OPTIONS", "print_suppressions=0:suppressions=" BI_LSAN_GUI_SUPPRESSIONS}};
  }

  // Starts the program on the test's display against bi-endpoint told `serverArgs`.
  void startOnDisplay(const std::vector<std::string>& serverArgs, const Env& extra = {}) {
    server_ = std::make_unique<Endpoint>(archive_, serverArgs);
    setEndpointUrl(server_->url());
    Env env = display();
    env.insert(extra.begin(), extra.end());
    program_ = start({}, env);
  }

  // The program's viewable window; "" while it has none.
  std::string window() const {
    return output("xdotool search --onlyvisible --pid " + std::to_string(program_->pid()));
  }
  // On Wayland, where no client finds another's window, "" at once.
  std::string waitForWindow() const {
    std::string id;
    EXPECT_TRUE(onWayland() || waitUntil([&] { return !(id = window()).empty(); })) << startedErr();
    return id;
  }

  // A shell command that writes a PNG of `window` on X, of the whole screen on Wayland.
  std::string shot(const std::string& window) const {
    const std::string dir = root_ / "shots";
    return onWayland() ? "mkdir -p '" + dir + "' && cd '" + dir +
                             "' && rm -f *.png && weston-screenshooter >&2 && cat *.png"
                       : "import -silent -window " + window + " png:-";
  }

  void expectCleanFailure() const {
    const int status = program_->wait();
    expectFailedRun(status, startedErr());
  }

  std::unique_ptr<Endpoint> server_;
  std::unique_ptr<Child> program_;
};

// Cases that need nothing but the program's standard error, on X and on Wayland.
class AnyDisplayTest : public GuiWindowTest {};

// A run that the screen reader's script follows (its RUN), of an archive that is no zip, served
// as `serverArgs` say.
struct ScreenReaderRun {
  const char* run;
  std::vector<std::string> serverArgs;
};

void PrintTo(const ScreenReaderRun& row, std::ostream* out) {
  *out << row.run;
}

class ScreenReaderTest : public AnyDisplayTest,
                         public testing::WithParamInterface<ScreenReaderRun> {};

}  // namespace

// Tests a whole run: the splash (200 x 100) drawn scaled to fit 400 x 400; the bar growing with
// the download, then pulsing while the archive is unpacked, when Return does nothing (the
// button is off; keys are X's here); and no window of the program on screen once the install
// agent runs.
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
  startOnDisplay({"--rate", "40"}, {{"PATH", root_ / "bin:" + std::string(std::getenv("PATH"))}});
  const std::string id = waitForWindow();
  std::string splash;
  EXPECT_TRUE(waitUntil([&] {
    return (splash = find(shot(id), "seagreen")).starts_with("400x200+");
  })) << splash;
  std::set<int> widths;
  EXPECT_TRUE(waitUntil([&] {
    widths.insert(std::atoi(find(shot(id), kBarFill).c_str()));
    return widths.size() > 3;
  })) << "the bar did not grow";

  ASSERT_TRUE(waitUntil([&] { return exists(unzip + ".held"); }));
  std::set<std::string> boxes;
  EXPECT_TRUE(waitUntil([&] {
    boxes.insert(find(shot(id), kBarFill));
    return boxes.size() >= 3;
  })) << "the bar did not pulse";
  EXPECT_TRUE(onWayland() || runShell("xdotool windowfocus --sync " + id + " key Return") == 0);
  writeFile(unzip + ".go", "");

  ASSERT_TRUE(waitUntil([&] { return agentRuns() == 1; }));
  EXPECT_TRUE(onWayland() ? find(shot(id), "seagreen").starts_with("0x0") : window().empty())
      << "a window is on screen while the install agent runs";
  writeFile(record_ + ".leave", "");
  EXPECT_EQ(0, program_->wait()) << startedErr();
}

struct Theme {
  const char* name;
  const char* gtkTheme;  // null: the default
  const char* key;       // that closes the window after the failure
  const char* css;       // of a theme of the user's own, named gtkTheme
};

void PrintTo(const Theme& theme, std::ostream* out) {
  *out << theme.name;
}

class GuiThemeTest : public GuiWindowTest, public testing::WithParamInterface<Theme> {};

// Tests that a broken interface file in the bundle costs nothing but a log line; that a failure
// shows red text, readable (contrast of 4.5:1 at least) on a light and on a dark theme and the
// theme's own red on the default one, and waits for the person; and that Return presses the
// button, enabled again after the unpack (of what is no zip) failed, and Escape closes; on
// Wayland, where no keyboard reaches the window, the button's action closes it.
TEST_P(GuiThemeTest, FailureShowsReadableRedText) {
  writeFile(resources_ + "/download_window.ui", "<interface><object class=");
  writeFile(root_ / "garbage", "this is no zip archive");
  const char* theme = GetParam().gtkTheme;
  if (GetParam().css != nullptr) {
    writeFile(home_ + "/.themes/" + theme + "/gtk-3.0/gtk.css", GetParam().css);
  }
  startOnDisplay(
      {"--body-file", root_ / "garbage"},
      {{"GTK_THEME", theme != nullptr ? std::optional<std::string>(theme) : std::nullopt}});
  const std::string id = waitForWindow();
  std::pair<std::string, std::string> colours;
  EXPECT_TRUE(waitUntil([&] { return !(colours = backgroundAndRed(shot(id))).second.empty(); }));
  const double low = std::min(luminance(colours.first), luminance(colours.second));
  const double high = std::max(luminance(colours.first), luminance(colours.second));
  EXPECT_GE((high + 0.05) / (low + 0.05), 4.5) << colours.second << " on " << colours.first;
  if (theme == nullptr) {
    EXPECT_EQ("#CC0000", colours.second);  // Adwaita's error colour
  } else if (GetParam().css != nullptr) {
    EXPECT_NE("#CC0000", colours.second) << "the theme's own red, made readable";
  }
  EXPECT_FALSE(program_->exited()) << "a failure in a window waits for the person";
  if (onWayland()) {
    const ProcessResult closer =
        runProcess({"/usr/bin/python3", BI_ATSPI_SCRIPT, root_ / "closer.ready", "Close"});
    EXPECT_EQ(0, closer.exitStatus) << closer.out;
  } else {
    EXPECT_EQ(0, runShell("xdotool windowfocus --sync " + id + " key " + GetParam().key));
  }
  expectCleanFailure();
  EXPECT_NE(std::string::npos, startedErr().find("; using the built-in window")) << startedErr();
  EXPECT_EQ(std::string::npos, startedErr().find("-CRITICAL")) << startedErr();
}

INSTANTIATE_TEST_SUITE_P(Themes, GuiThemeTest,
                         testing::Values(Theme{"Default", nullptr, "Return", nullptr},
                                         Theme{"Dark", "Adwaita:dark", "Escape", nullptr},
                                         Theme{"OwnRed", "Own", "Return",
                                               "@import url(\"resource:///org/gtk/libgtk/theme/"
                                               "Adwaita/gtk-contained.css\");\n"
                                               "@define-color error_color #ff6060;\n"}),
                         [](const testing::TestParamInfo<Theme>& row) { return row.param.name; });

// Tests that an interface file in the bundle's resources takes the place of the built-in one,
// its title too, also one made before the detail line (no "detail"), and that a close request
// mid-transfer ends the run as a failure with nothing in the cache.
TEST_F(GuiWindowTest, BundleInterfaceFileIsUsedAndClosingCancels) {
  ASSERT_EQ(0,
            runShell("sed 's|<property name=\"role\">download<|<property name=\"title\">"
                     "Example Setup</property><property name=\"role\">from-the-bundle<|;"
                     " s|\"detail\"|\"aside\"|g' '" +
                     std::string(BI_GUI_UI_PATH) + "' > '" + resources_ + "/download_window.ui'"));
  startOnDisplay({"--stall-after", "100"});  // the close comes mid-transfer, however slow
  const std::string id = waitForWindow();
  EXPECT_EQ("WM_WINDOW_ROLE = \"from-the-bundle\"",
            output("xprop -notype -id " + id + " WM_WINDOW_ROLE"));
  EXPECT_EQ("WM_NAME = \"Example Setup\"", output("xprop -notype -id " + id + " WM_NAME"));
  ASSERT_TRUE(waitUntil([&] { return !find(shot(id), kBarFill).starts_with("0x0"); }));
  EXPECT_EQ(0, runShell("/usr/bin/python3 " BI_CLOSE_WINDOW_SCRIPT " " + id));
  expectCleanFailure();
  expectNoInstallAgent();
}

// Tests that a run with a window says nothing on standard error (no status lines for a
// terminal, no toolkit warnings), on X and on Wayland; and that a run from the cache, over
// before its window is due, never loads the window's module (the install agent looks for it in
// the maps of the processes above it).
TEST_F(AnyDisplayTest, ShowsItsWindowWithoutAWordOnStandardError) {
  makeZip(archive_, {{"install",
                      "p=$PPID; while [ \"$p\" -gt 1 ]; do grep -c bootstrap-installer-gtk "
                      "/proc/$p/maps; p=$(cut -d' ' -f4 /proc/$p/stat); done >> \"$BI_RECORD\"\n"
                      "echo run >> \"$BI_RECORD.runs\"\n"}});
  Endpoint server(archive_, {"--rate", "300"});  // a second or so
  setEndpointUrl(server.url());
  for (const bool download : {true, false}) {  // then a run from the cache
    std::filesystem::remove(record_);
    const ProcessResult result = run({}, display());
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.err);
    const std::string mapped = readFile(record_);  // a count for each process, "0" or more
    EXPECT_EQ(download, mapped.find_first_of("123456789") != std::string::npos) << mapped;
  }
  EXPECT_EQ(2, agentRuns());
}

// Tests that a display that cannot be opened, or a system without GTK (hidden in a mount
// namespace of the run's own), leaves the window to the terminal, and one line says why, once
// the window is due.
TEST_F(AnyDisplayTest, NoWindowSaysWhyAndDrawsOnTheTerminal) {
  Endpoint server(archive_, {"--rate", "300"});
  setEndpointUrl(server.url());
  const std::string name = onWayland() ? "WAYLAND_DISPLAY" : "DISPLAY";
  const std::string tail = "; the window is drawn on the terminal\nDownloading\n";
  const ProcessResult unopenable = run({}, {{name, "nowhere:65000"}});
  EXPECT_EQ(0, unopenable.exitStatus);
  EXPECT_TRUE(unopenable.err.starts_with("No download window on " + name +
                                         "=nowhere:65000: GTK cannot open the display" + tail))
      << unopenable.err;
  if (runProcess({"/usr/bin/unshare", "-m", "true"}).exitStatus != 0) {
    GTEST_SKIP() << "no mount namespace here to hide GTK in";
  }
  std::filesystem::remove_all(cacheDir());
  const ProcessResult noGtk =
      run({}, display(),
          {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
           "for f in /usr/lib/*/libgtk-3.so.0; do mount --bind /dev/null \"$f\"; done; exec \"$@\"",
           "sh"});
  EXPECT_EQ(0, noGtk.exitStatus);
  const std::string pattern = "No download window on " + name + "=" + std::getenv(name.c_str()) +
                              ": */libgtk-3.so.0: file too short" + tail + "*";
  EXPECT_EQ(0, ::fnmatch(pattern.c_str(), noGtk.err.c_str(), 0)) << noGtk.err;
}

// Tests the window as a screen reader meets it, on X and on Wayland: the script checks the names,
// the bar's relations to the status text and the size line, its value, the focus and what is
// announced (never the size line), and ends the run from there, which then ends as a failure
// with nothing in the cache.
TEST_P(ScreenReaderTest, ReadsAndDrivesTheWindow) {
  writeFile(archive_, std::string(4000, 'x'));  // no zip
  const std::string ready = root_ / "reader.ready";
  Child reader({"/usr/bin/python3", BI_ATSPI_SCRIPT, ready, GetParam().run}, {},
               root_ / "reader.out", root_ / "reader.out");
  ASSERT_TRUE(waitUntil([&] { return exists(ready); }));
  startOnDisplay(GetParam().serverArgs);
  EXPECT_EQ(0, reader.wait(std::chrono::seconds(40))) << readFile(root_ / "reader.out");
  expectCleanFailure();
  expectNoInstallAgent();
}

INSTANTIATE_TEST_SUITE_P(Runs, ScreenReaderTest,
                         testing::Values(ScreenReaderRun{"FailedUnzip", {"--rate", "2000"}},
                                         ScreenReaderRun{"Cancel", {"--stall-after", "100"}}),
                         [](const testing::TestParamInfo<ScreenReaderRun>& row) {
                           return row.param.run;
                         });

// What a screen reader says of the window in a language (a failed unpack): the splash, the
// button, the bar, the status that describes the bar; and the button's side, the window laid out
// from the right in a language written from right to left.
struct Speech {
  const char *lang, *splash, *button, *bar, *status, *side;
};

void PrintTo(const Speech& row, std::ostream* out) {
  *out << row.lang;
}

class LanguageTest : public GuiWindowTest, public testing::WithParamInterface<Speech> {};

TEST_P(LanguageTest, SpeaksItsUsersLanguage) {
  writeFile(archive_, std::string(4000, 'x'));  // no zip
  const std::string ready = root_ / "reader.ready";
  Child reader({"/usr/bin/python3", BI_ATSPI_SCRIPT, ready, "Read", GetParam().button}, {},
               root_ / "reader.out", root_ / "reader.out");
  ASSERT_TRUE(waitUntil([&] { return exists(ready); }));
  startOnDisplay({}, {{"LANG", GetParam().lang}});
  EXPECT_EQ(0, reader.wait(std::chrono::seconds(40))) << readFile(root_ / "reader.out");
  const std::string tree = readFile(root_ / "reader.out");
  for (const std::string& said :
       {std::string("icon \"") + GetParam().splash + "\"",
        std::string("progress bar \"") + GetParam().bar + "\"",
        std::string("described by label \"") + GetParam().status + "\"",
        std::string("push button \"") + GetParam().button + "\"",
        std::string("the button is ") + GetParam().side + " of the centre"}) {
    EXPECT_NE(std::string::npos, tree.find(said)) << said << " in\n" << tree;
  }
  expectCleanFailure();
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageTest,
    testing::Values(Speech{"de_DE.UTF-8", "Startbild", "Schließen", "Downloadfortschritt",
                           "Das Installationsprogramm konnte nicht entpackt werden.", "right"},
                    Speech{"ja_JP.UTF-8", "スプラッシュ画像", "閉じる", "ダウンロードの進行状況",
                           "インストーラーを展開できませんでした。", "right"},
                    Speech{"ar_EG.UTF-8", "صورة البداية", "أغلق", "تقدّم التنزيل",
                           "تعذّر فك ضغط برنامج التثبيت.", "left"}),
    [](const testing::TestParamInfo<Speech>& row) { return std::string(row.param.lang, 2); });
