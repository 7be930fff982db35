#include "framework/gtk/gtk_window_renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "framework/gtk/gtk_display.h"
#include "framework/gtk/gtk_run_loop.h"
#include "support/files.h"
#include "support/png_image.h"
#include "support/scoped_temp_dir.h"
#include "support/xvfb_server.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

class RecordingDelegate : public fw::WindowDelegate {
 public:
  void windowWillClose() override { ++closes; }
  int closes = 0;
};

// The renderer on a real GTK display (the shared Xvfb), its loop's context pumped by the test.
class GtkWindowRendererTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("DISPLAY", sharedXvfb().display().c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(fw::openGtkDisplay());
  }

  GtkWindowRendererTest() {
    window_.setDelegate(&delegate_);
    window_.progressIndicator().setIndeterminate(false);
    window_.statusText().setStringValue("Downloading");
    window_.button().setTitle("Cancel");
    window_.button().setKeyEquivalent("\r");
  }

  // Runs what is due on the default context until `condition` holds or `timeout` passed.
  static bool pumpUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
      if (Clock::now() >= deadline) {
        return false;
      }
      while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  static void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
  }

  const fw::DownloadWindowInterface& ui() const { return *renderer_.interfaceForTesting(); }

  fw::GtkRunLoop loop_;
  fw::GtkWindowRenderer renderer_{loop_};
  RecordingDelegate delegate_;
  fw::Window window_{"Installer", renderer_};
};

// The foreground colour that the label's attributes give its text, as 0xRRGGBB in 16-bit
// channels' high bytes; none when they give none.
std::optional<uint32_t> labelForeground(GtkLabel* label) {
  PangoAttrList* attributes = gtk_label_get_attributes(label);
  if (attributes == nullptr) {
    return std::nullopt;
  }
  std::optional<uint32_t> colour;
  PangoAttrIterator* iterator = pango_attr_list_get_iterator(attributes);
  if (PangoAttribute* found = pango_attr_iterator_get(iterator, PANGO_ATTR_FOREGROUND)) {
    const PangoColor& value = reinterpret_cast<PangoAttrColor*>(found)->color;
    colour = static_cast<uint32_t>(value.red >> 8) << 16 |
             static_cast<uint32_t>(value.green >> 8) << 8 | static_cast<uint32_t>(value.blue >> 8);
  }
  pango_attr_iterator_destroy(iterator);
  return colour;
}

}  // namespace

TEST_F(GtkWindowRendererTest, ShowsTheModel) {
  window_.progressIndicator().setDoubleValue(25);
  window_.makeKeyAndOrderFront();
  ASSERT_NE(nullptr, renderer_.interfaceForTesting());
  EXPECT_STREQ("Installer", gtk_window_get_title(ui().window));
  EXPECT_STREQ("Downloading", gtk_label_get_text(ui().status));
  EXPECT_FALSE(labelForeground(ui().status));
  EXPECT_DOUBLE_EQ(0.25, gtk_progress_bar_get_fraction(ui().progress));
  EXPECT_STREQ("Cancel", gtk_button_get_label(ui().button));
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(ui().button)));
  EXPECT_EQ(GTK_WIDGET(ui().button), gtk_window_get_default_widget(ui().window));
  EXPECT_TRUE(renderer_.canUserClose());
  EXPECT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(ui().window)) != FALSE; }));
}

// Tests that the failure display (text, red, Close) shows at once, without waiting for a frame.
TEST_F(GtkWindowRendererTest, FailureShowsAtOnceInRed) {
  window_.makeKeyAndOrderFront();
  window_.progressIndicator().setDoubleValue(100);
  window_.button().setTitle("Close");
  window_.statusText().setStringValue("Download failed with error code 404");
  window_.statusText().setTextColor(fw::Color::kRed);
  EXPECT_STREQ("Download failed with error code 404", gtk_label_get_text(ui().status));
  EXPECT_EQ(std::optional<uint32_t>(0xcc0000), labelForeground(ui().status));
  EXPECT_STREQ("Close", gtk_button_get_label(ui().button));
  window_.statusText().setTextColor(fw::Color::kText);
  EXPECT_FALSE(labelForeground(ui().status));
}

TEST_F(GtkWindowRendererTest, TwoLineStatusText) {
  window_.makeKeyAndOrderFront();
  window_.statusText().setStringValue("first line\nsecond line");
  EXPECT_STREQ("first line\nsecond line", gtk_label_get_text(ui().status));
}

// Tests that hundreds of bar changes a second reach the widgets about 30 times a second, and
// that the last one always does.
TEST_F(GtkWindowRendererTest, BarUpdatesAreCoalesced) {
  window_.progressIndicator().setMaxValue(1e6);
  window_.makeKeyAndOrderFront();
  const int before = renderer_.updatesForTesting();
  const auto start = Clock::now();
  double value = 0;
  while (Clock::now() - start < std::chrono::seconds(1)) {
    for (int i = 0; i < 20; ++i) {
      value += 10;
      window_.progressIndicator().setDoubleValue(value);
    }
    while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const int updates = renderer_.updatesForTesting() - before;
  EXPECT_LE(updates, 32);
  EXPECT_GE(updates, 10);  // a loaded machine may serve the timers late, never early
  pumpFor(std::chrono::milliseconds(60));
  EXPECT_DOUBLE_EQ(value / 1e6, gtk_progress_bar_get_fraction(ui().progress));
}

// Tests that a change of the status text shows at once, even right after a bar update.
TEST_F(GtkWindowRendererTest, StatusChangesAreNotDelayed) {
  window_.makeKeyAndOrderFront();
  window_.progressIndicator().setDoubleValue(10);
  window_.progressIndicator().setDoubleValue(11);
  window_.statusText().setStringValue("Initializing the installer");
  EXPECT_STREQ("Initializing the installer", gtk_label_get_text(ui().status));
  window_.button().setEnabled(false);
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(ui().button)));
}

TEST_F(GtkWindowRendererTest, InterfaceFileMustHoldEveryObject) {
  const ScopedTempDir dir;
  std::string error;
  EXPECT_FALSE(fw::buildDownloadWindowFromFile(dir / "missing.ui", &error));
  EXPECT_FALSE(error.empty());

  writeFile(dir / "no_status.ui",
            "<interface><object class=\"GtkWindow\" id=\"window\"/>"
            "<object class=\"GtkImage\" id=\"splash\"/>"
            "<object class=\"GtkProgressBar\" id=\"progress\"/>"
            "<object class=\"GtkButton\" id=\"status\"/>"
            "<object class=\"GtkButton\" id=\"button\"/></interface>");
  error.clear();
  EXPECT_FALSE(fw::buildDownloadWindowFromFile(dir / "no_status.ui", &error));
  EXPECT_NE(std::string::npos, error.find("\"status\"")) << error;

  error.clear();
  const auto builtIn = fw::buildBuiltInDownloadWindow(&error);
  ASSERT_TRUE(builtIn) << error;
  gtk_widget_destroy(GTK_WIDGET(builtIn->window));
}
