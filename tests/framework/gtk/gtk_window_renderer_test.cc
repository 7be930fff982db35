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

// Tests that Return (the window's default action) performs the button's click, and only while
// the button is enabled.
TEST_F(GtkWindowRendererTest, ReturnPressesTheEnabledButton) {
  int clicks = 0;
  window_.button().setAction([&] { ++clicks; });
  window_.makeKeyAndOrderFront();
  // A key press holds the button down for a moment before it counts as a click.
  EXPECT_TRUE(gtk_window_activate_default(ui().window));
  EXPECT_TRUE(pumpUntil([&] { return clicks == 1; }));
  window_.button().setEnabled(false);
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(ui().button)));
  gtk_window_activate_default(ui().window);
  pumpFor(std::chrono::milliseconds(400));
  EXPECT_EQ(1, clicks);
  window_.button().setEnabled(true);
  gtk_button_clicked(ui().button);
  EXPECT_EQ(2, clicks);
}

// Tests that the window's close control closes the model window (which tells its delegate) and
// that the desktop window is then destroyed.
TEST_F(GtkWindowRendererTest, CloseControlClosesTheModelWindow) {
  window_.makeKeyAndOrderFront();
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(ui().window)) != FALSE; }));
  gpointer desktopWindow = ui().window;
  g_object_add_weak_pointer(G_OBJECT(desktopWindow), &desktopWindow);
  gtk_window_close(ui().window);
  EXPECT_TRUE(pumpUntil([&] { return window_.isClosed(); }));
  EXPECT_EQ(1, delegate_.closes);
  EXPECT_EQ(nullptr, renderer_.interfaceForTesting());
  EXPECT_TRUE(pumpUntil([&] { return desktopWindow == nullptr; })) << "not destroyed";
  if (desktopWindow != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(desktopWindow), &desktopWindow);
  }
  window_.progressIndicator().setDoubleValue(50);  // nothing shown any more: nothing drawn
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

// Tests that the bar pulses about ten times a second while indeterminate and animating, and
// stands still otherwise.
TEST_F(GtkWindowRendererTest, PulsesOnlyWhileAnimating) {
  window_.makeKeyAndOrderFront();
  window_.progressIndicator().setIndeterminate(true);
  pumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(0, renderer_.pulsesForTesting()) << "indeterminate without animation stays still";
  EXPECT_DOUBLE_EQ(0.0, gtk_progress_bar_get_fraction(ui().progress));

  window_.progressIndicator().startAnimation();
  pumpFor(std::chrono::milliseconds(1000));
  const int pulses = renderer_.pulsesForTesting();
  EXPECT_GE(pulses, 5);  // late timers on a loaded machine, as above
  EXPECT_LE(pulses, 12);

  window_.progressIndicator().stopAnimation();
  pumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(pulses, renderer_.pulsesForTesting());
}

// Tests that the splash is drawn scaled, proportionally, to fit its size in points.
TEST_F(GtkWindowRendererTest, SplashIsScaledToFit) {
  const ScopedTempDir dir;
  writeSolidPng(dir / "splash.png", 200, 100, 0x2e8b57);
  auto splash = std::make_shared<fw::Image>();
  splash->path = dir / "splash.png";
  splash->setSize(400, 400);
  window_.makeKeyAndOrderFront();
  window_.imageView().setImageScaling(fw::ImageScaling::kProportionallyUpOrDown);
  window_.imageView().setImage(splash);
  ASSERT_EQ(GTK_IMAGE_SURFACE, gtk_image_get_storage_type(ui().splash));
  cairo_surface_t* surface = nullptr;
  g_object_get(ui().splash, "surface", &surface, nullptr);
  ASSERT_NE(nullptr, surface);
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(ui().splash));
  EXPECT_EQ(400 * scale, cairo_image_surface_get_width(surface));
  EXPECT_EQ(200 * scale, cairo_image_surface_get_height(surface));
  cairo_surface_destroy(surface);

  window_.imageView().setImage(nullptr);
  EXPECT_EQ(GTK_IMAGE_EMPTY, gtk_image_get_storage_type(ui().splash));
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
