#include "framework/ui/gui_module.h"

#include <dlfcn.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "framework/base/unique_fd.h"
#include "framework/os/system_log.h"

// The module's image, put into the program by gtk/embedded_module.cc; weak, so that executables
// without it (the tests') link and run without a window.
extern "C" {
extern const char bi_gui_module_image[] __attribute__((weak));
extern const unsigned long bi_gui_module_image_size __attribute__((weak));
}

namespace fw {

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(name) + "=" + value : "";
}

void logNoWindow(const std::string& why) {
  systemLog("No download window on " + namedDisplays() + ": " + why +
            "; the window is drawn on the terminal");
}

// A file of memory holding the image, which dlopen() can map through /proc/self/fd.
UniqueFd memoryFileOf(std::string_view image, std::string* error) {
  UniqueFd file(::memfd_create("bootstrap-installer-gtk", MFD_CLOEXEC));
  if (!file) {
    *error = std::string("memfd_create: ") + std::strerror(errno);
    return {};
  }
  while (!image.empty()) {
    const ssize_t written = ::write(file.get(), image.data(), image.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      *error = std::string("write(memfd): ") + std::strerror(errno);
      return {};
    }
    image.remove_prefix(static_cast<size_t>(written));
  }
  return file;
}

}  // namespace

std::string namedDisplays() {
  const std::string wayland = variable("WAYLAND_DISPLAY");
  const std::string x11 = variable("DISPLAY");
  return wayland + (!wayland.empty() && !x11.empty() ? " " : "") + x11;
}

std::string_view embeddedGuiModule() {
  if (&bi_gui_module_image_size == nullptr || bi_gui_module_image == nullptr) {
    return {};
  }
  return {bi_gui_module_image, bi_gui_module_image_size};
}

bool guiModuleWanted(std::string_view image) {
  return !namedDisplays().empty() && !image.empty();
}

std::unique_ptr<WindowRenderer> loadGuiRenderer(PollRunLoop& loop, std::string_view image) {
  if (!guiModuleWanted(image)) {
    return nullptr;
  }
  std::string error;
  const UniqueFd file = memoryFileOf(image, &error);
  if (!file) {
    logNoWindow(error);
    return nullptr;
  }
  // RTLD_NOW: a missing GTK, or a symbol that the program does not export, fails here and not in
  // the middle of a run. The mapping outlives the descriptor.
  const std::string path = "/proc/self/fd/" + std::to_string(file.get());
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = ::dlerror();
    logNoWindow(reason != nullptr ? reason : "dlopen(" + path + ") failed");
    return nullptr;
  }
  void* symbol = ::dlsym(module, kGuiModuleEntryPoint);
  if (symbol == nullptr) {
    logNoWindow(std::string("the window module has no ") + kGuiModuleEntryPoint);
    return nullptr;
  }
  // The toolkit registers types and handlers that outlive any call: the module is never closed.
  const auto entry = reinterpret_cast<GuiModuleEntry>(symbol);
  std::unique_ptr<WindowRenderer> renderer;
  if (!entry(&loop, &renderer)) {
    logNoWindow("GTK cannot open the display");
    return nullptr;
  }
  return renderer;
}

}  // namespace fw
