// Not a test suite that CTest runs: the screenshots of the download window for the README and
// the figures of the desktop window against a fast download. Run through
// scripts/window-figures.sh (--screenshots for the pictures).
//
// Screenshots go to $BI_SCREENSHOT_DIR (docs/ when unset).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "e2e/gui_fixture.h"
#include "framework/os/remove_tree.h"
#include "support/files.h"
#include "support/png_image.h"

// Last: Xlib defines macros (None, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

std::string screenshotDir() {
  const char* dir = std::getenv("BI_SCREENSHOT_DIR");
  return dir != nullptr && dir[0] != '\0' ? dir : BI_DOCS_DIR;
}

// A quiet splash for the pictures: a diagonal blend of blue into green with a light disc.
uint32_t docsSplashPixel(int x, int y) {
  const double t = (x + y) / 798.0;
  const double dx = x - 200.0;
  const double dy = y - 200.0;
  const double disc = std::clamp((120.0 - std::sqrt(dx * dx + dy * dy)) / 2.0, 0.0, 1.0) * 0.35;
  const auto mix = [&](double from, double to) {
    const double base = from + (to - from) * t;
    return static_cast<uint32_t>(std::lround(base + (255.0 - base) * disc));
  };
  return mix(0x1f, 0x2e) << 16 | mix(0x4e, 0x8b) << 8 | mix(0x79, 0x57);
}

class WindowScreenshots : public GuiRunTest {
 protected:
  WindowScreenshots() { writePng(program_.resources + "/splash.png", 400, 400, docsSplashPixel); }
  void save(const std::string& name, XDisplay::WindowId window) {
    const std::string path = screenshotDir() + "/" + name;
    writeCapturePng(path, x_.capture(window));
    std::cout << "[ picture  ] " << path << "\n";
  }
};

TEST_F(WindowScreenshots, Downloading) {
  makeArchive(3'000'000);
  EndpointServer server(archive_, {"--rate", "1000000"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(*program, [](const WindowCapture& capture) {
    const int width = capture.boundingBox(isBarFillPixel).width;
    return width >= 170 && width <= 230;
  });
  ASSERT_TRUE(window);
  save("window-downloading.png", *window);
  EXPECT_EQ(0, waitForExit(*program));
}

TEST_F(WindowScreenshots, Installing) {
  makeArchive(1000);
  holdUnzip();
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = x_.waitForViewableWindow(program->pid());
  ASSERT_TRUE(window);
  ASSERT_TRUE(waitUntil([&] { return unzipIsHeld(); }));
  // Until the pulse block has moved off the bar's start.
  ASSERT_TRUE(waitUntil([&] { return x_.capture(*window).boundingBox(isBarFillPixel).x > 120; }));
  save("window-installing.png", *window);
  releaseUnzip();
  EXPECT_EQ(0, waitForExit(*program));
}

TEST_F(WindowScreenshots, Failed) {
  makeArchive(1000);
  EndpointServer server(archive_, {"--status", "404"});
  setEndpointUrl(server.url("/agent.zip"));
  const auto program = start();
  const auto window = waitForWindowShowing(
      *program, [](const WindowCapture& capture) { return capture.count(isRedPixel) >= 20; });
  ASSERT_TRUE(window);
  save("window-failed.png", *window);
  x_.pressReturn(*window);
  EXPECT_EQ(255, waitForExit(*program));
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

// Counts the redraws of one band of rows of a window (the bar's) through the X DAMAGE
// extension: every drawing into the window is reported with its rectangle.
class RedrawCounter {
 public:
  explicit RedrawCounter(const std::string& displayName)
      : display_(XOpenDisplay(displayName.c_str())) {
    int errorBase = 0;
    if (display_ == nullptr || XDamageQueryExtension(display_, &eventBase_, &errorBase) == 0) {
      throw std::runtime_error("no DAMAGE extension on " + displayName);
    }
    // The window goes away at the end of a run, maybe between two requests: no reason to end.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  // The damage object goes with its window, or with the connection.
  ~RedrawCounter() { XCloseDisplay(display_); }
  RedrawCounter(const RedrawCounter&) = delete;
  RedrawCounter& operator=(const RedrawCounter&) = delete;

  void watch(unsigned long window) {
    XDamageCreate(display_, window, XDamageReportRawRectangles);
    XFlush(display_);
  }
  // Takes the reports that have come in.
  void collect() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == eventBase_ + XDamageNotify) {
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        reports_.push_back({Clock::now(), notify.area.y, notify.area.y + notify.area.height});
      }
    }
  }
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

class GuiFigures : public GuiRunTest {
 protected:
  GuiFigures() {
    const std::string stage = root_ / "stage";
    makeDirs(stage);
    writeFile(stage + "/install", "exit 0\n");
    const std::string script = "cd " + stage + " && head -c " + std::to_string(kArchiveMiB * kMiB) +
                               " /dev/urandom > padding.bin && zip -q -0 " + archive_ +
                               " install padding.bin && rm padding.bin";
    EXPECT_EQ(0, runProcess("/bin/sh", {"sh", "-c", script}).exitStatus);
  }

  // One run against a fresh cache, sampling how much of the body the program has stored (what
  // it wrote: recv() on a socket counts in no /proc figure) and its peak memory every
  // millisecond; with `gui`, on the display, counting the bar's redraws.
  RunFigures measure(bool gui) {
    fw::removeItemAtPath(sandbox_.home + "/.velmora");
    std::map<std::string, std::optional<std::string>> env;
    if (!gui) {
      env["DISPLAY"] = std::nullopt;
    }
    std::optional<RedrawCounter> redraws;
    if (gui) {
      redraws.emplace(sharedXvfb().display());
    }
    const auto program = start(env);
    const std::string proc = "/proc/" + std::to_string(program->pid());
    std::optional<Clock::time_point> at16;
    std::optional<Clock::time_point> at128;
    std::optional<Clock::time_point> at240;
    std::optional<unsigned long> window;
    int barTop = -1;
    int barBottom = -1;
    RunFigures figures;
    while (!program->hasExited()) {
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
      if (gui && !window) {
        const auto windows = x_.windowsOfProcess(program->pid());
        for (const auto candidate : windows) {
          if (x_.isViewable(candidate)) {
            window = candidate;
            redraws->watch(*window);
          }
        }
      }
      if (gui && window && barTop < 0 && at16) {
        const WindowCapture::Box bar = x_.capture(*window).boundingBox(isBarFillPixel);
        if (bar.height > 0) {
          barTop = bar.y;
          barBottom = bar.y + bar.height;
        }
      }
      if (redraws) {
        redraws->collect();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    figures.status = program->stop();
    if (at16 && at240) {
      figures.mibPerSecond = 224.0 / std::chrono::duration<double>(*at240 - *at16).count();
      figures.lateMibPerSecond = 112.0 / std::chrono::duration<double>(*at240 - *at128).count();
    }
    if (redraws && barTop >= 0 && at16 && at240) {
      std::vector<Clock::time_point> all = redraws->redrawsOfRows(barTop, barBottom);
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
  EndpointServer server(archive_);
  setEndpointUrl(server.url("/agent.zip"));
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
  EndpointServer server(archive_, {"--rate", "50000000"});
  setEndpointUrl(server.url("/agent.zip"));
  const RunFigures gui = measure(true);
  EXPECT_EQ(0, gui.status);
  std::cout << "[ figures  ] " << kArchiveMiB << " MiB at 50 MB/s: " << gui.mibPerSecond
            << " MiB/s, " << gui.barUpdatesSeen << " bar redraws, " << gui.barRedrawsPerSecond
            << " per second; peak RSS " << gui.peakRssMiB << " MiB\n";
}

}  // namespace
