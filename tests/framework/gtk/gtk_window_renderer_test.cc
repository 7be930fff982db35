#include "framework/gtk/gtk_window_renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "framework/gtk/gtk_display.h"
#include "framework/gtk/gtk_run_loop.h"
#include "support/files.h"
#include "support/process.h"

namespace {

// Runs what is due on GLib's default context, the loop's.
void runDueWork() {
  while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
  }
}

// The renderer on the display that xvfb-run gives the test, showing a window mid-download.
class GtkWindowRendererTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(fw::openGtkDisplay());
  }

  GtkWindowRendererTest() {
    window_.progressIndicator().setIndeterminate(false);
    window_.progressIndicator().setDoubleValue(25);
    window_.statusText().setStringValue("Downloading");
    window_.makeKeyAndOrderFront();
  }

  const fw::DownloadWindowInterface& ui() const { return *renderer_.interfaceForTesting(); }

  fw::GtkRunLoop loop_;
  fw::GtkWindowRenderer renderer_{loop_};
  fw::Window window_{"Installer", renderer_};
};

}  // namespace

// Tests that the widgets show the model, and that a failure (text, red, Close) shows at once,
// without waiting for a frame.
TEST_F(GtkWindowRendererTest, ShowsTheModelAndAFailureAtOnce) {
  ASSERT_NE(nullptr, renderer_.interfaceForTesting());
  EXPECT_STREQ("Installer", gtk_window_get_title(ui().window));
  EXPECT_STREQ("Downloading", gtk_label_get_text(ui().status));
  EXPECT_EQ(nullptr, gtk_label_get_attributes(ui().status));
  EXPECT_DOUBLE_EQ(0.25, gtk_progress_bar_get_fraction(ui().progress));

  window_.button().setTitle("Close");
  window_.statusText().setStringValue("Download failed with error code 404");
  window_.statusText().setTextColor(fw::Color::kRed);
  EXPECT_STREQ("Download failed with error code 404", gtk_label_get_text(ui().status));
  g_autofree gchar* attributes = pango_attr_list_to_string(gtk_label_get_attributes(ui().status));
  EXPECT_STREQ("0 4294967295 foreground #cccc00000000", attributes);
  EXPECT_STREQ("Close", gtk_button_get_label(ui().button));
}

// Tests that a bar changed as fast as the test can reaches the widgets about 30 times a second,
// and that its last value always does.
TEST_F(GtkWindowRendererTest, BarUpdatesAreCoalesced) {
  const int before = renderer_.updatesForTesting();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (double value = 26; std::chrono::steady_clock::now() < end; value += 1e-6) {
    window_.progressIndicator().setDoubleValue(value);
    runDueWork();
  }
  const int updates = renderer_.updatesForTesting() - before;
  EXPECT_LE(updates, 32);
  EXPECT_GE(updates, 10);  // a loaded machine may serve the timers late, never early
  const double last = window_.progressIndicator().fraction();
  EXPECT_TRUE(testing_support::waitUntil([&] {
    runDueWork();
    return gtk_progress_bar_get_fraction(ui().progress) == last;
  }));
}

// Tests that an interface file is refused unless it holds each object with its class.
TEST_F(GtkWindowRendererTest, InterfaceFileMustHoldEachObjectWithItsClass) {
  const testing_support::ScopedTempDir dir;
  testing_support::writeFile(dir / "label_as_button.ui",
                             "<interface><object class=\"GtkLabel\" id=\"button\"/></interface>");
  std::string error;
  EXPECT_FALSE(fw::buildDownloadWindowFromFile(dir / "label_as_button.ui", &error));
  EXPECT_EQ("object \"button\" is a GtkLabel, not a GtkButton", error);
}
