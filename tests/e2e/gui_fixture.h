#ifndef TESTS_E2E_GUI_FIXTURE_H_
#define TESTS_E2E_GUI_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/agent_fixture.h"
#include "support/background_process.h"
#include "support/endpoint_server.h"
#include "support/scoped_temp_dir.h"
#include "support/x_display.h"
#include "support/xvfb_server.h"

namespace testing_support {

// What the download window's pixels are: the test splash, the red of a failure, the bar's fill
// (the desktop theme's accent blue).
inline constexpr uint32_t kSplashColor = 0x2e8b57;
bool isSplashPixel(uint32_t pixel);
bool isRedPixel(uint32_t pixel);
bool isBarFillPixel(uint32_t pixel);

/// The program and its GTK module, copied as a bare tool (<dir>/setup and the module beside it).
InstalledProgram installFlatWithGui(const std::string& dir);
/// The program and its GTK module in <dir>/<name>/Contents/MacOS.
InstalledProgram installAppWithGui(const std::string& dir, const std::string& name);

/// A string of `size` bytes that do not compress, the same on every call.
std::string incompressibleBytes(size_t size);

/// A test of the program's desktop window on the shared Xvfb server: a sandbox, a flat install
/// with the module, an install agent archive, and a connection to the display.
class GuiRunTest : public testing::Test {
 protected:
  GuiRunTest();

  /// Sets the endpoint URL in the program's resources.
  void setEndpointUrl(const std::string& url) const;
  /// Puts a solid 200 x 100 splash.png of kSplashColor into the program's resources.
  void addSplash() const;
  /// Makes the install agent archive: a recording `install` and `padding` incompressible bytes.
  void makeArchive(size_t padding, const std::string& script = recordingAgentScript()) const;
  /// Holds the next run in its installing state: `unzip` waits until releaseUnzip() before it
  /// runs; unzipIsHeld() once it waits.
  void holdUnzip();
  bool unzipIsHeld() const;
  void releaseUnzip() const;

  /// Starts the program with DISPLAY naming the server.
  std::unique_ptr<BackgroundProcess> start(
      const std::map<std::string, std::optional<std::string>>& env = {});
  /// Waits (up to 20 s) for the started program to end; its exit status.
  static int waitForExit(BackgroundProcess& process);
  /// What the started program wrote to standard error.
  std::string errorOutput() const;

  /// The window of `process` once it is viewable and shows `ready`; fails the test otherwise.
  std::optional<XDisplay::WindowId> waitForWindowShowing(
      BackgroundProcess& process, const std::function<bool(const WindowCapture&)>& ready);

  /// A failed run, as the terminal tests check it: "Installation failed." last, the agent not
  /// run, no temporary directory left.
  void expectCleanFailure(int status) const;

  ScopedTempDir root_;
  ProgramRun sandbox_;
  InstalledProgram program_;
  std::string archive_;
  std::string heldUnzipRelease_;
  std::string path_;  // PATH for the program: the held unzip first, when there is one
  XDisplay x_;
};

}  // namespace testing_support

#endif  // TESTS_E2E_GUI_FIXTURE_H_
