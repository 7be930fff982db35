#include "framework/ui/gui_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "framework/os/paths.h"
#include "framework/os/system_log.h"

namespace fw {

namespace {

bool isSetAndNotEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

bool displayIsNamed() {
  return isSetAndNotEmpty("DISPLAY") || isSetAndNotEmpty("WAYLAND_DISPLAY");
}

std::string guiModulePath() {
  const std::string executable = readSymlink("/proc/self/exe");
  if (executable.empty()) {
    return "";
  }
  return appendPathComponent(deletingLastPathComponent(executable), kGuiModuleFileName);
}

bool loadGuiUserInterface(UserInterface* ui) {
  if (!displayIsNamed()) {
    return false;
  }
  const std::string path = guiModulePath();
  // No module beside the program is an ordinary layout (a terminal-only bundle): no message.
  if (path.empty() || !regularFileExistsAtPath(path)) {
    return false;
  }
  // RTLD_NOW: a symbol that the program does not export fails here, not in the middle of a run.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* error = ::dlerror();
    systemLog("dlopen(" + path + "): " + (error != nullptr ? error : "failed"));
    return false;
  }
  void* symbol = ::dlsym(module, kGuiModuleEntryPoint);
  if (symbol == nullptr) {
    systemLog("dlsym(" + path + ", " + kGuiModuleEntryPoint + "): no such entry point");
    return false;
  }
  // The toolkit registers types and handlers that outlive any call: the module is never closed.
  const auto entry = reinterpret_cast<GuiModuleEntry>(symbol);
  return entry(ui);
}

}  // namespace fw
