#include "support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <stdexcept>

#include "support/background_process.h"

namespace testing_support {

namespace {

Display* asDisplay(void* display) {
  return static_cast<Display*>(display);
}

// The default handler ends the process; a window of the program under test may go away
// between two calls, which is no reason to.
int ignoreXError(Display* /*display*/, XErrorEvent* /*event*/) {
  return 0;
}

// Ignores X errors for one scope, then puts back the handler before it: a toolkit in the same
// process (the renderer tests' GTK) keeps its own.
class IgnoreXErrors {
 public:
  explicit IgnoreXErrors(Display* display)
      : display_(display), previous_(XSetErrorHandler(&ignoreXError)) {}
  ~IgnoreXErrors() {
    XSync(display_, False);  // the errors of this scope arrive while it still ignores them
    XSetErrorHandler(previous_);
  }
  IgnoreXErrors(const IgnoreXErrors&) = delete;
  IgnoreXErrors& operator=(const IgnoreXErrors&) = delete;

 private:
  Display* display_;
  XErrorHandler previous_;
};

// Bits of `pixel` under `mask`, scaled to 0..255.
uint32_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1U) == 0) {
    ++shift;
  }
  const unsigned long maximum = mask >> shift;
  return static_cast<uint32_t>(((pixel & mask) >> shift) * 255U / maximum);
}

}  // namespace

size_t WindowCapture::count(const std::function<bool(uint32_t)>& test) const {
  return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), test));
}

WindowCapture::Box WindowCapture::boundingBox(const std::function<bool(uint32_t)>& test) const {
  int left = width, top = height, right = -1, bottom = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (test(at(x, y))) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  if (right < 0) {
    return {};
  }
  return {left, top, right - left + 1, bottom - top + 1};
}

XDisplay::XDisplay(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
  if (display_ == nullptr) {
    throw std::runtime_error("XOpenDisplay(" + name + ") failed");
  }
}

XDisplay::~XDisplay() {
  XCloseDisplay(asDisplay(display_));
}

std::vector<XDisplay::WindowId> XDisplay::windowsOfProcess(pid_t pid) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<WindowId> windows;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
    return windows;
  }
  for (unsigned int i = 0; i < count; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr) {
      if (format == 32 && items == 1 &&
          *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid)) {
        windows.push_back(children[i]);
      }
      XFree(data);
    }
  }
  if (children != nullptr) {
    XFree(children);
  }
  return windows;
}

bool XDisplay::isViewable(WindowId window) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

bool XDisplay::exists(WindowId window) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) != 0;
}

std::optional<XDisplay::WindowId> XDisplay::waitForViewableWindow(
    pid_t pid, std::chrono::milliseconds timeout) {
  std::optional<WindowId> found;
  waitUntil(
      [&] {
        for (const WindowId window : windowsOfProcess(pid)) {
          if (isViewable(window)) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

WindowCapture XDisplay::capture(WindowId window) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  WindowCapture capture;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable) {
    return capture;
  }
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) {
    return capture;
  }
  capture.width = attributes.width;
  capture.height = attributes.height;
  capture.pixels.reserve(static_cast<size_t>(capture.width) * static_cast<size_t>(capture.height));
  for (int y = 0; y < capture.height; ++y) {
    for (int x = 0; x < capture.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      capture.pixels.push_back(channel(pixel, image->red_mask) << 16 |
                               channel(pixel, image->green_mask) << 8 |
                               channel(pixel, image->blue_mask));
    }
  }
  XDestroyImage(image);
  return capture;
}

std::string XDisplay::stringProperty(WindowId window, const std::string& name) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string value;
  if (XGetWindowProperty(display, window, XInternAtom(display, name.c_str(), False), 0, 1024, False,
                         AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
      data != nullptr) {
    if (format == 8) {
      value.assign(reinterpret_cast<const char*>(data), items);
    }
    XFree(data);
  }
  return value;
}

void XDisplay::pressReturn(WindowId window) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  const KeyCode key = XKeysymToKeycode(display, XK_Return);
  XTestFakeKeyEvent(display, key, True, CurrentTime);
  XTestFakeKeyEvent(display, key, False, CurrentTime);
  XSync(display, False);
}

void XDisplay::requestClose(WindowId window) {
  Display* display = asDisplay(display_);
  const IgnoreXErrors ignoreErrors(display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

}  // namespace testing_support
