#ifndef SRC_FRAMEWORK_GTK_GTK_WINDOW_RENDERER_H_
#define SRC_FRAMEWORK_GTK_GTK_WINDOW_RENDERER_H_

#include <gtk/gtk.h>

#include <chrono>
#include <optional>
#include <string>

#include "framework/gtk/download_window_interface.h"
#include "framework/loop/run_loop.h"
#include "framework/ui/window.h"

namespace fw {

/// Draws a window as a GTK desktop window, built from download_window.ui (the bundle's
/// resources, else the built-in copy). GTK must be initialised and `loop` must be the loop that
/// runs GLib's default main context. Main thread only.
///
/// The controls map onto the interface's objects: the image view onto "splash" (the image
/// scaled by the view's rule into the image's size in points), the progress indicator onto
/// "progress" (its fraction when determinate; pulsing about ten times a second when
/// indeterminate and animating; still otherwise), the status text onto "status" (red for
/// Color::kRed, in the theme's error colour made readable on its background; each new text, and
/// the first once the window is on screen, announced to assistive technology), the detail text
/// onto "detail" where the interface file has it (shown only while it says something, and never
/// announced: it changes a few times a second, and it describes the bar), the button onto
/// "button" (title, enabled state; the window's default, so that Return presses it, when its key
/// equivalent is "\r"; the keyboard focus from the start, and again whenever it is enabled
/// again). A click performs the button's click; the window's close control and
/// Escape close the model window. The interface file's window title wins over the model's.
///
/// The model asks for a redraw on every change, hundreds of times a second in a fast download:
/// the widgets are brought up to date at once when the status text or colour, the button, the
/// image or the bar's mode changed, and otherwise at most about 30 times a second.
class GtkWindowRenderer : public WindowRenderer {
 public:
  explicit GtkWindowRenderer(RunLoop& loop);
  /// Destroys the desktop window if it is still there.
  ~GtkWindowRenderer() override;
  GtkWindowRenderer(const GtkWindowRenderer&) = delete;
  GtkWindowRenderer& operator=(const GtkWindowRenderer&) = delete;

  void show(Window& window) override;
  /// Builds the desktop window, lays it out (theme and fonts loaded) and realizes it, unmapped.
  void prepare(Window& window) override;
  void setNeedsDisplay(Window& window) override;
  /// Destroys the desktop window and sends that to the display server at once, so that no
  /// window stays on screen once the loop no longer serves it.
  void close(Window& window) override;
  bool canUserClose() const override { return true; }

 private:
  enum class BarMode { kUnset, kDeterminate, kPulsing, kStill };

  static std::optional<DownloadWindowInterface> buildInterface();
  void update(const Window& window);
  void updateImage(const ImageView& view);
  void updateBar(const ProgressIndicator& progress);
  void updateStatus(const TextFieldCell& status);
  void updateDetail(const TextFieldCell& detail);
  void updateButton(const Button& button);
  void announceStatus();
  void schedulePulse();
  void destroyDesktopWindow();
  static gboolean onDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer data);
  static gboolean onMapped(GtkWidget* widget, GdkEvent* event, gpointer data);
  static gboolean onFirstAnnouncement(gpointer data);
  static gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data);
  static void onClicked(GtkButton* button, gpointer data);

  RunLoop& loop_;
  Window* shown_ = nullptr;
  std::optional<DownloadWindowInterface> ui_;
  std::string lastSignature_;  // what, besides the bar's fraction, was last shown
  std::string imageKey_;       // the image, size and scaling last shown
  BarMode barMode_ = BarMode::kUnset;
  double fraction_ = -1;
  std::optional<std::string> statusText_;
  std::optional<Color> statusColor_;
  std::optional<std::string> detailText_;
  std::optional<std::string> buttonTitle_;
  bool updatePending_ = false;
  bool pulseScheduled_ = false;
  guint firstAnnouncement_ = 0;  // the idle source that announces the first status text
  std::chrono::steady_clock::time_point lastUpdate_{};
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GTK_WINDOW_RENDERER_H_
