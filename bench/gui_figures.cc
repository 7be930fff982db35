// Not a test suite that CTest runs: the screenshots of the download window for the README and
// the figures of the desktop window against a fast download. Run through
// scripts/window-figures.sh (--screenshots for the pictures), on a virtual X server of
// xvfb-run's.
//
// Screenshots go to $BI_SCREENSHOT_DIR (docs/ when unset).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "e2e/fixture.h"

// Last: Xlib defines macros (None, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

// The bar's fill: the desktop theme's accent blue.
const std::string kBarFill = "#3584e4";

// What a shell command writes to standard output, without its last newline.
std::string output(const std::string& command) {
  const std::string out = runProcess({"/bin/sh", "-c", command}).out;
  return out.substr(0, out.find_last_not_of('\n') + 1);
}

// The box round a window's pixels of `colour`; of width 0 when there are none.
struct Box {
  int width = 0;
  int height = 0;
  int x = 0;
  int y = 0;
};
Box find(const std::string& window, const std::string& colour) {
  std::istringstream text(output("import -silent -window " + window +
                                 " png:- | convert png:- -fuzz 10% -fill black +opaque '" + colour +
                                 "' -format %@ info:"));
  Box box;
  char by = 0;
  text >> box.width >> by >> box.height >> box.x >> box.y;
  return box;
}

// The program in a bundle, on the display that DISPLAY names.
class GuiBench : public ProgramTest {
 protected:
  GuiBench() : ProgramTest(Layout::kApp) {}

  std::unique_ptr<Child> startOnDisplay(Env env = {}) const {
    env.try_emplace("DISPLAY", std::getenv("DISPLAY"));
    return start({}, env);
  }

  // The program's viewable window; fails the run without one.
  std::string waitForWindow(const Child& program) const {
    std::string id;
    const std::string search =
        "xdotool search --onlyvisible --pid " + std::to_string(program.pid());
    EXPECT_TRUE(waitUntil([&] { return !(id = output(search)).empty(); })) << startedErr();
    return id;
  }
};

std::string screenshotDir() {
  const char* dir = std::getenv("BI_SCREENSHOT_DIR");
  return dir != nullptr && dir[0] != '\0' ? dir : BI_DOCS_DIR;
}

class WindowScreenshots : public GuiBench {
 protected:
  // A quiet splash for the pictures: a diagonal blend of blue into green with a light disc.
  WindowScreenshots() {
    EXPECT_EQ(0, runShell("convert -size 400x400 -define gradient:direction=SouthEast "
                          "'gradient:#1f4e79-#2e8b57' -fill 'rgba(255,255,255,0.35)' "
                          "-draw 'circle 200,200 200,80' '" +
                          resources_ + "/splash.png'"));
  }
  void save(const std::string& name, const std::string& window) {
    const std::string path = screenshotDir() + "/" + name;
    EXPECT_EQ(0, runShell("import -silent -window " + window + " '" + path + "'"));
    std::cout << "[ picture  ] " << path << "\n";
  }

  // The window by the middle of a download, in the language of `env`, as `name`.
  void downloading(const std::string& name, const Env& env = {}) {
    // Megabytes that do not compress, at a rate that leaves the size line its time left by the
    // middle: "10.0 MB of 20.0 MB, about 5 seconds left".
    std::string padding(20'000'000, '\0');
    std::mt19937_64 random(1);
    std::generate(padding.begin(), padding.end(), [&] { return static_cast<char>(random()); });
    makeZip(archive_, {{"install", kRecordingAgent}, {"padding", padding}});
    Endpoint server(archive_, {"--rate", "2000000"});
    setEndpointUrl(server.url());
    const auto program = startOnDisplay(env);
    const std::string window = waitForWindow(*program);
    ASSERT_TRUE(waitUntil([&] {
      const int width = find(window, kBarFill).width;
      return width >= 170 && width <= 230;
    }));
    save(name, window);
    EXPECT_EQ(0, program->wait());
  }

  // The window showing a failure (`serverArgs`'s, or a refused connection's), as `name`.
  void failed(const std::string& name, const std::vector<std::string>& serverArgs,
              const Env& env = {}) {
    const auto server =
        serverArgs.empty() ? nullptr : std::make_unique<Endpoint>(archive_, serverArgs);
    setEndpointUrl(server ? server->url() : Endpoint(archive_).url());  // refused: stopped
    const auto program = startOnDisplay(env);
    const std::string window = waitForWindow(*program);
    ASSERT_TRUE(waitUntil([&] { return find(window, "#cc0000").width > 0; }));
    save(name, window);
    EXPECT_EQ(0, runShell("xdotool windowfocus --sync " + window + " key Return"));
    EXPECT_EQ(255, program->wait());
  }
};

// The window in a language of its own, as window-<language>-downloading.png and -failed.png.
class LanguageScreenshots : public WindowScreenshots,
                            public testing::WithParamInterface<std::string> {};

TEST_P(LanguageScreenshots, DownloadingAndFailed) {
  const std::string language = GetParam().substr(0, 2);
  downloading("window-" + language + "-downloading.png", {{"LANG", GetParam()}});
  failed("window-" + language + "-failed.png", {}, {{"LANG", GetParam()}});
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageScreenshots,
                         testing::Values("de_DE.UTF-8", "ja_JP.UTF-8", "ar_EG.UTF-8"),
                         [](const testing::TestParamInfo<std::string>& row) {
                           return row.param.substr(0, 2);
                         });

TEST_F(WindowScreenshots, Downloading) {
  downloading("window-downloading.png");
}

TEST_F(WindowScreenshots, Installing) {
  const std::string unzip = root_ / "bin/unzip";  // waits for unzip.go
  writeFile(unzip,
            "touch \"$0.held\"\n"
            "while [ ! -e \"$0.go\" ]; do sleep 0.02; done\n"
            "exec /usr/bin/unzip \"$@\"\n",
            0755);
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  const auto program =
      startOnDisplay({{"PATH", root_ / "bin:" + std::string(std::getenv("PATH"))}});
  const std::string window = waitForWindow(*program);
  ASSERT_TRUE(waitUntil([&] { return exists(unzip + ".held"); }));
  // Until the pulse block has moved off the bar's start.
  ASSERT_TRUE(waitUntil([&] { return find(window, kBarFill).x > 120; }));
  save("window-installing.png", window);
  writeFile(unzip + ".go", "");
  EXPECT_EQ(0, program->wait());
}

TEST_F(WindowScreenshots, Failed) {
  failed("window-failed.png", {"--status", "404"});
}

// --- Figures ---------------------------------------------------------------------------------

constexpr uint64_t kMiB = uint64_t{1024} * 1024;
constexpr uint64_t kArchiveMiB = 256;

// A number from a /proc file's "name value" line (the first number after `name`); 0 if none.
uint64_t procValue(const std::string& path, const std::string& name) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(name, 0) == 0) {
      return std::strtoull(line.c_str() + name.size(), nullptr, 10);
    }
  }
  return 0;
}

// Counts the redraws of the windows mapped on the display from now on, through the X DAMAGE
// extension: every drawing into a window is reported with its rectangle.
class RedrawCounter {
 public:
  RedrawCounter() : display_(XOpenDisplay(nullptr)) {
    int errorBase = 0;
    if (display_ == nullptr || XDamageQueryExtension(display_, &eventBase_, &errorBase) == 0) {
      throw std::runtime_error("no display with the DAMAGE extension");
    }
    // The window goes away at the end of a run, maybe between two requests: no reason to end.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XFlush(display_);
  }
  // The damage objects go with their windows, or with the connection.
  ~RedrawCounter() { XCloseDisplay(display_); }
  RedrawCounter(const RedrawCounter&) = delete;
  RedrawCounter& operator=(const RedrawCounter&) = delete;

  // Takes the reports that have come in, and watches each window that was mapped.
  void collect() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == MapNotify) {
        window_ = event.xmap.window;
        XDamageCreate(display_, event.xmap.window, XDamageReportRawRectangles);
        XFlush(display_);
      } else if (event.type == eventBase_ + XDamageNotify) {
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        reports_.push_back({Clock::now(), notify.area.y, notify.area.y + notify.area.height});
      }
    }
  }
  // The window mapped last, as xdotool names it; "" before one was.
  std::string window() const { return window_ != 0 ? std::to_string(window_) : ""; }
  // Redraws that touched rows [top, bottom): reports less than 2 ms apart count as one.
  std::vector<Clock::time_point> redrawsOfRows(int top, int bottom) const {
    std::vector<Clock::time_point> redraws;
    for (const Report& report : reports_) {
      if (report.top < bottom && report.bottom > top &&
          (redraws.empty() || report.at - redraws.back() > std::chrono::milliseconds(2))) {
        redraws.push_back(report.at);
      }
    }
    return redraws;
  }

 private:
  struct Report {
    Clock::time_point at;
    int top;
    int bottom;
  };
  Display* display_;
  int eventBase_ = 0;
  unsigned long window_ = 0;
  std::vector<Report> reports_;
};

struct RunFigures {
  int status = -1;
  double mibPerSecond = 0;      // between 16 MiB and 240 MiB of the body stored
  double lateMibPerSecond = 0;  // between 128 MiB and 240 MiB: after the window's first frames
  double peakRssMiB = 0;
  double barRedrawsPerSecond = 0;
  double barUpdatesSeen = 0;
};

class GuiFigures : public GuiBench {
 protected:
  GuiFigures() {
    const std::string stage = root_ / "stage";
    writeFile(stage + "/install", "exit 0\n");
    EXPECT_EQ(0, runShell("cd " + stage + " && head -c " + std::to_string(kArchiveMiB * kMiB) +
                          " /dev/urandom > padding.bin && rm -f " + archive_ + " && zip -q -0 " +
                          archive_ + " install padding.bin && rm padding.bin"));
  }

  // One run against a fresh cache, sampling how much of the body the program has stored (what
  // it wrote: recv() on a socket counts in no /proc figure) and its peak memory every
  // millisecond; with `gui`, on the display, counting the bar's redraws.
  RunFigures measure(bool gui) {
    std::filesystem::remove_all(home_ + "/.velmora");
    std::optional<RedrawCounter> redraws;
    if (gui) {
      redraws.emplace();
    }
    const auto program = gui ? startOnDisplay() : start();
    const std::string proc = "/proc/" + std::to_string(program->pid());
    std::optional<Clock::time_point> at16;
    std::optional<Clock::time_point> at128;
    std::optional<Clock::time_point> at240;
    // Where the bar is: read from the window's pixels beside the sampling, once it has a fill.
    std::future<Box> bar;
    RunFigures figures;
    while (!program->exited()) {
      const uint64_t stored = procValue(proc + "/io", "wchar: ");
      figures.peakRssMiB = std::max(
          figures.peakRssMiB, static_cast<double>(procValue(proc + "/status", "VmHWM:")) / 1024.0);
      if (!at16 && stored >= 16 * kMiB) {
        at16 = Clock::now();
      }
      if (!at128 && stored >= 128 * kMiB) {
        at128 = Clock::now();
      }
      if (!at240 && stored >= 240 * kMiB) {
        at240 = Clock::now();
      }
      if (redraws) {
        redraws->collect();
        if (!bar.valid() && at16 && !redraws->window().empty()) {
          bar = std::async(std::launch::async, find, redraws->window(), kBarFill);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    figures.status = program->wait();
    const Box band = bar.valid() ? bar.get() : Box{};
    if (at16 && at240) {
      figures.mibPerSecond = 224.0 / std::chrono::duration<double>(*at240 - *at16).count();
      figures.lateMibPerSecond = 112.0 / std::chrono::duration<double>(*at240 - *at128).count();
    }
    if (redraws && band.height > 0 && at16 && at240) {
      std::vector<Clock::time_point> all = redraws->redrawsOfRows(band.y, band.y + band.height);
      const auto during = std::count_if(all.begin(), all.end(), [&](Clock::time_point at) {
        return at >= *at16 && at <= *at240;
      });
      figures.barUpdatesSeen = static_cast<double>(during);
      figures.barRedrawsPerSecond =
          static_cast<double>(during) / std::chrono::duration<double>(*at240 - *at16).count();
    }
    return figures;
  }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

TEST_F(GuiFigures, FastDownload) {
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  constexpr int kRounds = 7;
  std::vector<double> guiSpeeds;
  std::vector<double> terminalSpeeds;
  std::vector<double> lateGuiSpeeds;
  std::vector<double> lateTerminalSpeeds;
  std::vector<double> ratios;  // of each round's pair
  std::vector<double> redrawRates;
  std::vector<double> guiPeaks;
  std::vector<double> terminalPeaks;
  for (int round = 0; round < kRounds; ++round) {
    const RunFigures gui = measure(true);
    const RunFigures terminal = measure(false);
    EXPECT_EQ(0, gui.status);
    EXPECT_EQ(0, terminal.status);
    std::cout << "[ run      ] " << round << ": GUI " << gui.mibPerSecond << " MiB/s (late "
              << gui.lateMibPerSecond << "), " << gui.barRedrawsPerSecond << " bar redraws/s, peak "
              << gui.peakRssMiB << " MiB; terminal " << terminal.mibPerSecond << " MiB/s (late "
              << terminal.lateMibPerSecond << "), peak " << terminal.peakRssMiB << " MiB\n";
    guiSpeeds.push_back(gui.mibPerSecond);
    terminalSpeeds.push_back(terminal.mibPerSecond);
    lateGuiSpeeds.push_back(gui.lateMibPerSecond);
    lateTerminalSpeeds.push_back(terminal.lateMibPerSecond);
    ratios.push_back(gui.mibPerSecond / terminal.mibPerSecond);
    redrawRates.push_back(gui.barRedrawsPerSecond);
    guiPeaks.push_back(gui.peakRssMiB);
    terminalPeaks.push_back(terminal.peakRssMiB);
  }
  std::cout << "[ figures  ] " << kArchiveMiB << " MiB download, medians of " << kRounds
            << " alternating runs: GUI " << median(guiSpeeds) << " MiB/s, terminal "
            << median(terminalSpeeds) << " MiB/s, ratio GUI/terminal "
            << median(guiSpeeds) / median(terminalSpeeds) << " (median of the rounds' ratios "
            << median(ratios) << "); from 128 MiB on: GUI " << median(lateGuiSpeeds)
            << " MiB/s, terminal " << median(lateTerminalSpeeds) << " MiB/s; bar redraws "
            << median(redrawRates) << "/s; peak RSS GUI " << median(guiPeaks) << " MiB, terminal "
            << median(terminalPeaks) << " MiB\n";
}

// The bar's redraws over a download long enough to count them well: 256 MiB at 50 MB/s, some
// five seconds.
TEST_F(GuiFigures, ThrottledDownloadRedraws) {
  Endpoint server(archive_, {"--rate", "50000000"});
  setEndpointUrl(server.url());
  const RunFigures gui = measure(true);
  EXPECT_EQ(0, gui.status);
  std::cout << "[ figures  ] " << kArchiveMiB << " MiB at 50 MB/s: " << gui.mibPerSecond
            << " MiB/s, " << gui.barUpdatesSeen << " bar redraws, " << gui.barRedrawsPerSecond
            << " per second; peak RSS " << gui.peakRssMiB << " MiB\n";
}

}  // namespace
