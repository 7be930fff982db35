#ifndef TESTS_SUPPORT_X_DISPLAY_H_
#define TESTS_SUPPORT_X_DISPLAY_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

/// What a window showed: its pixels as 0xRRGGBB, row by row.
struct WindowCapture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  uint32_t at(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
  /// How many pixels satisfy `test`.
  size_t count(const std::function<bool(uint32_t)>& test) const;
  /// The smallest rectangle (x, y, width, height) holding every pixel that satisfies `test`;
  /// all zero when none does.
  struct Box {
    int x = 0, y = 0, width = 0, height = 0;
  };
  Box boundingBox(const std::function<bool(uint32_t)>& test) const;
};

/// A client connection to an X display, to look at and act on what a program under test shows,
/// as a person (or a window manager) would. X errors (a window that went away meanwhile) are
/// ignored: the calls then give empty results.
class XDisplay {
 public:
  using WindowId = unsigned long;

  /// Connects to the display `name` (":N"). Throws std::runtime_error when it cannot.
  explicit XDisplay(const std::string& name);
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  /// The top-level windows that the process `pid` created (their _NET_WM_PID), viewable or not.
  std::vector<WindowId> windowsOfProcess(pid_t pid);
  /// The first viewable top-level window of `pid`, waiting for one up to `timeout`.
  std::optional<WindowId> waitForViewableWindow(
      pid_t pid, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool isViewable(WindowId window);
  /// Whether the window still exists (was not destroyed).
  bool exists(WindowId window);

  /// The window's contents; empty when it is gone or not viewable.
  WindowCapture capture(WindowId window);
  /// A string property of the window (WM_WINDOW_ROLE, WM_NAME); empty when it has none.
  std::string stringProperty(WindowId window, const std::string& name);

  /// Gives the window the keyboard focus and presses and releases Return through XTest, as a
  /// keyboard would.
  void pressReturn(WindowId window);
  /// Asks the window to close as a window manager's close control does: a WM_DELETE_WINDOW
  /// message.
  void requestClose(WindowId window);

 private:
  void* display_ = nullptr;  // Display*, kept out of this header
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_X_DISPLAY_H_
