#include "e2e/gui_fixture.h"

#include <cstdlib>
#include <random>

#include "support/files.h"
#include "support/png_image.h"

namespace testing_support {

namespace {

uint32_t red(uint32_t pixel) {
  return (pixel >> 16) & 0xff;
}
uint32_t green(uint32_t pixel) {
  return (pixel >> 8) & 0xff;
}
uint32_t blue(uint32_t pixel) {
  return pixel & 0xff;
}
bool near(uint32_t a, uint32_t b) {
  return (a > b ? a - b : b - a) <= 3;
}

void copyModuleInto(const std::string& dir) {
  copyFile(BI_GUI_MODULE_PATH, dir + "/bootstrap-installer-gtk.so", 0755);
}

}  // namespace

bool isSplashPixel(uint32_t pixel) {
  return near(red(pixel), red(kSplashColor)) && near(green(pixel), green(kSplashColor)) &&
         near(blue(pixel), blue(kSplashColor));
}

bool isRedPixel(uint32_t pixel) {
  return red(pixel) >= 150 && green(pixel) <= 70 && blue(pixel) <= 70;
}

bool isBarFillPixel(uint32_t pixel) {
  return blue(pixel) >= 150 && blue(pixel) > red(pixel) + 100 && blue(pixel) > green(pixel) + 40;
}

InstalledProgram installFlatWithGui(const std::string& dir) {
  InstalledProgram program = installFlat(dir);
  copyModuleInto(dir);
  return program;
}

InstalledProgram installAppWithGui(const std::string& dir, const std::string& name) {
  InstalledProgram program = installApp(dir, name);
  copyModuleInto(dir + "/" + name + "/Contents/MacOS");
  return program;
}

std::string incompressibleBytes(size_t size) {
  std::mt19937 generator(42);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(generator() & 0xffU);
  }
  return bytes;
}

GuiRunTest::GuiRunTest()
    : sandbox_(root_.path()),
      program_(installFlatWithGui(root_ / "app")),
      archive_(root_ / "agent.zip"),
      x_(sharedXvfb().display()) {
  const char* path = std::getenv("PATH");
  path_ = path != nullptr ? path : "/usr/bin:/bin";
}

void GuiRunTest::setEndpointUrl(const std::string& url) const {
  writeFile(program_.resources + "/installAgentURL.txt", url + "\n");
}

void GuiRunTest::addSplash() const {
  writeSolidPng(program_.resources + "/splash.png", 200, 100, kSplashColor);
}

void GuiRunTest::makeArchive(size_t padding, const std::string& script) const {
  makeZip(archive_, {{"install", script}, {"padding.bin", incompressibleBytes(padding)}});
}

void GuiRunTest::holdUnzip() {
  const std::string bin = root_ / "bin";
  makeDirs(bin);
  heldUnzipRelease_ = root_ / "unzip.release";
  writeFile(bin + "/unzip",
            "#!/bin/sh\n"
            "touch '" +
                heldUnzipRelease_ +
                ".held'\n"
                "while [ ! -e '" +
                heldUnzipRelease_ +
                "' ]; do sleep 0.02; done\n"
                "exec /usr/bin/unzip \"$@\"\n",
            0755);
  path_ = bin + ":" + path_;
}

bool GuiRunTest::unzipIsHeld() const {
  return exists(heldUnzipRelease_ + ".held");
}

void GuiRunTest::releaseUnzip() const {
  writeFile(heldUnzipRelease_, "");
}

std::unique_ptr<BackgroundProcess> GuiRunTest::start(
    const std::map<std::string, std::optional<std::string>>& env) {
  // Under AddressSanitizer the program's GTK libraries keep caches that are not its leaks.
  const char* lsanOptions = std::getenv("LSAN_OPTIONS");
  const std::string suppressions =
      std::string("print_suppressions=0:suppressions=") + BI_LSAN_GUI_SUPPRESSIONS;
  std::map<std::string, std::optional<std::string>> all = {
      {"DISPLAY", sharedXvfb().display()},
      {"PATH", path_},
      {"LSAN_OPTIONS", lsanOptions != nullptr && lsanOptions[0] != '\0'
                           ? std::string(lsanOptions) + ":" + suppressions
                           : suppressions}};
  for (const auto& [name, value] : env) {
    all[name] = value;
  }
  return sandbox_.start(program_, {}, root_ / "stdout", root_ / "stderr", false, all);
}

int GuiRunTest::waitForExit(BackgroundProcess& process) {
  EXPECT_TRUE(waitUntil([&] { return process.hasExited(); }, std::chrono::seconds(20)))
      << "the program did not end";
  return process.stop(SIGKILL);
}

std::string GuiRunTest::errorOutput() const {
  return readFile(root_ / "stderr");
}

std::optional<XDisplay::WindowId> GuiRunTest::waitForWindowShowing(
    BackgroundProcess& process, const std::function<bool(const WindowCapture&)>& ready) {
  const std::optional<XDisplay::WindowId> window = x_.waitForViewableWindow(process.pid());
  if (!window) {
    ADD_FAILURE() << "no window appeared; standard error:\n" << errorOutput();
    return std::nullopt;
  }
  if (!waitUntil([&] { return ready(x_.capture(*window)); })) {
    ADD_FAILURE() << "the window never showed what was waited for";
    return std::nullopt;
  }
  return window;
}

void GuiRunTest::expectCleanFailure(int status) const {
  EXPECT_EQ(255, status);
  const std::string err = errorOutput();
  EXPECT_TRUE(err.size() >= 21 && err.substr(err.size() - 21) == "Installation failed.\n") << err;
  EXPECT_EQ(0, sandbox_.agentRuns());
  EXPECT_TRUE(listDir(sandbox_.tmpdir).empty()) << "temporary directory left behind";
}

}  // namespace testing_support
