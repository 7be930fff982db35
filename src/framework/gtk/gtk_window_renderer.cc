#include "framework/gtk/gtk_window_renderer.h"

#include <algorithm>
#include <cmath>

#include "framework/gtk/accessible_announcement.h"
#include "framework/gtk/error_color.h"
#include "framework/gtk/image_fit.h"
#include "framework/os/main_bundle.h"
#include "framework/os/message_locale.h"
#include "framework/os/paths.h"
#include "framework/os/system_log.h"

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

// Often enough for a bar that looks smooth, rarely enough that a fast download spends its time
// downloading rather than drawing.
constexpr std::chrono::milliseconds kUpdateInterval{33};
constexpr double kPulseIntervalSeconds = 0.1;

std::string imageKeyOf(const ImageView& view) {
  const std::shared_ptr<Image>& image = view.image();
  if (!image) {
    return "";
  }
  return image->path + '\n' + std::to_string(image->width) + 'x' + std::to_string(image->height) +
         '\n' + std::to_string(static_cast<int>(view.imageScaling()));
}

// What, besides the bar's fraction and the detail line, the window shows: a change of it is shown
// at once. The detail changes with the bar, and waits for the next update as the bar does.
std::string signatureOf(const Window& window) {
  const ProgressIndicator& progress = window.progressIndicator();
  const Button& button = window.button();
  return window.statusText().stringValue() + '\0' +
         (window.statusText().textColor() == Color::kRed ? "red" : "text") + '\0' + button.title() +
         '\0' + (button.isEnabled() ? "on" : "off") + '\0' + button.keyEquivalent() + '\0' +
         (progress.isIndeterminate() ? "i" : "d") + (progress.isAnimating() ? "a" : "s") + '\0' +
         imageKeyOf(window.imageView());
}

// The accessible name that the interface file gives the widget, in the user's language.
void localizeAccessibleName(GtkWidget* widget) {
  AtkObject* accessible = gtk_widget_get_accessible(widget);
  const gchar* name = accessible != nullptr ? atk_object_get_name(accessible) : nullptr;
  if (name != nullptr && name[0] != '\0') {
    const std::string said = localized(name);  // a copy: setting the name frees the old one
    atk_object_set_name(accessible, said.c_str());
  }
}

}  // namespace

GtkWindowRenderer::GtkWindowRenderer(RunLoop& loop) : loop_(loop) {}

GtkWindowRenderer::~GtkWindowRenderer() {
  destroyDesktopWindow();
}

std::optional<DownloadWindowInterface> GtkWindowRenderer::buildInterface() {
  std::string error;
  const auto bundle = mainBundle();
  if (bundle && !bundle->resourcePath.empty()) {
    const std::string path =
        appendPathComponent(bundle->resourcePath, kDownloadWindowInterfaceFile);
    if (regularFileExistsAtPath(path)) {
      if (auto ui = buildDownloadWindowFromFile(path, &error)) {
        return ui;
      }
      // A broken file in the bundle must not cost the user the window.
      systemLog("GtkBuilder(" + path + "): " + error + "; using the built-in window");
    }
  }
  auto ui = buildBuiltInDownloadWindow(&error);
  if (!ui) {
    systemLog("GtkBuilder(built-in download window): " + error);
  }
  return ui;
}

void GtkWindowRenderer::prepare(Window& window) {
  if (ui_ || shown_ != nullptr) {
    return;
  }
  ui_ = buildInterface();
  if (!ui_) {
    return;
  }
  // What the widgets are known to show starts afresh with new widgets.
  lastSignature_.clear();
  imageKey_.clear();
  barMode_ = BarMode::kUnset;
  fraction_ = -1;
  statusText_.reset();
  statusColor_.reset();
  detailText_.reset();
  buttonTitle_.reset();
  // The interface file's title, when it gives one, is the vendor's choice; it and the names it
  // gives are said in the user's language where the program's catalogs have them.
  const gchar* fileTitle = gtk_window_get_title(ui_->window);
  gtk_window_set_title(ui_->window, fileTitle == nullptr || fileTitle[0] == '\0'
                                        ? window.title().c_str()
                                        : std::string(localized(fileTitle)).c_str());
  localizeAccessibleName(GTK_WIDGET(ui_->splash));
  localizeAccessibleName(GTK_WIDGET(ui_->progress));
  g_signal_connect(ui_->window, "delete-event", G_CALLBACK(&GtkWindowRenderer::onDeleteEvent),
                   this);
  // Centring looks for the pointer's monitor: a display without a seat has no pointer, and the
  // compositor of such a display places windows itself.
  if (gdk_display_get_default_seat(gtk_widget_get_display(GTK_WIDGET(ui_->window))) == nullptr) {
    gtk_window_set_position(ui_->window, GTK_WIN_POS_NONE);
  }
  g_signal_connect(ui_->window, "key-press-event", G_CALLBACK(&GtkWindowRenderer::onKeyPress),
                   this);
  g_signal_connect(ui_->window, "map-event", G_CALLBACK(&GtkWindowRenderer::onMapped), this);
  g_signal_connect(ui_->button, "clicked", G_CALLBACK(&GtkWindowRenderer::onClicked), this);
  update(window);
  // The theme's styles, the fonts and the window on the server are what showing it costs: by
  // now, they are ready when it is due.
  GtkRequisition natural{};
  gtk_widget_get_preferred_size(GTK_WIDGET(ui_->window), nullptr, &natural);
  gtk_widget_realize(GTK_WIDGET(ui_->window));
}

void GtkWindowRenderer::show(Window& window) {
  if (shown_ != nullptr) {
    return;
  }
  prepare(window);
  if (!ui_) {
    // Nothing on screen could ever be closed: the window closes itself, and the run ends.
    loop_.addTimer(0, [&window] { window.close(); });
    return;
  }
  shown_ = &window;
  update(window);
  gtk_widget_grab_focus(GTK_WIDGET(ui_->button));
  gtk_window_present(ui_->window);
}

void GtkWindowRenderer::setNeedsDisplay(Window& window) {
  if (shown_ != &window) {
    return;
  }
  if (signatureOf(window) != lastSignature_) {
    update(window);
    return;
  }
  if (updatePending_) {
    return;
  }
  const auto sinceLastUpdate = Clock::now() - lastUpdate_;
  if (sinceLastUpdate >= kUpdateInterval) {
    update(window);
    return;
  }
  updatePending_ = true;
  const double delay = std::chrono::duration<double>(kUpdateInterval - sinceLastUpdate).count();
  loop_.addTimer(delay, [this] {
    updatePending_ = false;
    if (shown_ != nullptr) {
      update(*shown_);
    }
  });
}

void GtkWindowRenderer::close(Window& window) {
  if (shown_ != &window) {
    return;
  }
  shown_ = nullptr;
  destroyDesktopWindow();
}

void GtkWindowRenderer::update(const Window& window) {
  lastUpdate_ = Clock::now();
  lastSignature_ = signatureOf(window);
  updateImage(window.imageView());
  updateBar(window.progressIndicator());
  updateStatus(window.statusText());
  updateDetail(window.detailText());
  updateButton(window.button());
}

void GtkWindowRenderer::updateImage(const ImageView& view) {
  const std::string key = imageKeyOf(view);
  if (key == imageKey_) {
    return;
  }
  imageKey_ = key;
  const std::shared_ptr<Image>& image = view.image();
  gint naturalWidth = 0;
  gint naturalHeight = 0;
  if (!image ||
      gdk_pixbuf_get_file_info(image->path.c_str(), &naturalWidth, &naturalHeight) == nullptr) {
    gtk_image_clear(ui_->splash);
    return;
  }
  const ImageSize size =
      fittedImageSize({static_cast<double>(naturalWidth), static_cast<double>(naturalHeight)},
                      {image->width, image->height}, view.imageScaling());
  // Decoded at the display's scale, so that the splash stays sharp on a high-density screen.
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(ui_->splash));
  const auto pixels = [scale](double points) {
    return std::max(1, static_cast<int>(std::lround(points * scale)));
  };
  GError* error = nullptr;
  const GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new_from_file_at_scale(
      image->path.c_str(), pixels(size.width), pixels(size.height), FALSE, &error));
  if (!pixbuf) {
    g_clear_error(&error);
    gtk_image_clear(ui_->splash);
    return;
  }
  cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(pixbuf.get(), scale, nullptr);
  gtk_image_set_from_surface(ui_->splash, surface);
  cairo_surface_destroy(surface);
}

void GtkWindowRenderer::updateBar(const ProgressIndicator& progress) {
  if (!progress.isIndeterminate()) {
    if (barMode_ != BarMode::kDeterminate) {
      barMode_ = BarMode::kDeterminate;
      fraction_ = -1;
    }
    const double fraction = progress.fraction();
    if (fraction != fraction_) {
      fraction_ = fraction;
      gtk_progress_bar_set_fraction(ui_->progress, fraction);
    }
  } else if (progress.isAnimating()) {
    if (barMode_ != BarMode::kPulsing) {
      barMode_ = BarMode::kPulsing;
      gtk_progress_bar_pulse(ui_->progress);
    }
    schedulePulse();
  } else if (barMode_ != BarMode::kStill) {
    barMode_ = BarMode::kStill;
    gtk_progress_bar_set_fraction(ui_->progress, 0.0);
  }
}

void GtkWindowRenderer::updateStatus(const TextFieldCell& status) {
  if (statusText_ != status.stringValue()) {
    statusText_ = status.stringValue();
    gtk_label_set_text(ui_->status, statusText_->c_str());
    // A new phase is news that a screen reader must speak, wherever its user's focus is. The
    // first one comes before the window is on screen: announced again once it is (onMapped).
    announceStatus();
  }
  if (statusColor_ != status.textColor()) {
    statusColor_ = status.textColor();
    if (*statusColor_ == Color::kRed) {
      const Rgb red = readableErrorColor(GTK_WIDGET(ui_->status));
      const auto component = [](double value) {
        return static_cast<guint16>(std::lround(value * 0xffff));
      };
      PangoAttrList* attributes = pango_attr_list_new();
      pango_attr_list_insert(attributes, pango_attr_foreground_new(
                                             component(red.r), component(red.g), component(red.b)));
      gtk_label_set_attributes(ui_->status, attributes);
      pango_attr_list_unref(attributes);
    } else {
      gtk_label_set_attributes(ui_->status, nullptr);
    }
  }
}

void GtkWindowRenderer::updateDetail(const TextFieldCell& detail) {
  if (ui_->detail == nullptr || detailText_ == detail.stringValue()) {
    return;
  }
  detailText_ = detail.stringValue();
  gtk_label_set_text(ui_->detail, detailText_->c_str());
  gtk_widget_set_visible(GTK_WIDGET(ui_->detail), detailText_->empty() ? FALSE : TRUE);
}

void GtkWindowRenderer::announceStatus() {
  announceToAssistiveTechnology(GTK_WIDGET(ui_->window), GTK_WIDGET(ui_->button),
                                statusText_.value_or(""));
}

void GtkWindowRenderer::updateButton(const Button& button) {
  GtkWidget* widget = GTK_WIDGET(ui_->button);
  if (buttonTitle_ != button.title()) {
    buttonTitle_ = button.title();
    gtk_button_set_label(ui_->button, buttonTitle_->c_str());
  }
  if (gtk_widget_get_sensitive(widget) != static_cast<gboolean>(button.isEnabled())) {
    gtk_widget_set_sensitive(widget, button.isEnabled() ? TRUE : FALSE);
    // A disabled button loses the focus: the window's one control takes it back, so that the
    // keyboard and a screen reader are not left on nothing.
    if (button.isEnabled()) {
      gtk_widget_grab_focus(widget);
    }
  }
  // Return presses the window's default widget, whatever has the focus.
  const bool isDefault = button.keyEquivalent() == "\r";
  if (isDefault != (gtk_window_get_default_widget(ui_->window) == widget)) {
    gtk_widget_set_can_default(widget, TRUE);
    gtk_window_set_default(ui_->window, isDefault ? widget : nullptr);
  }
}

void GtkWindowRenderer::schedulePulse() {
  if (pulseScheduled_) {
    return;
  }
  pulseScheduled_ = true;
  loop_.addTimer(kPulseIntervalSeconds, [this] {
    pulseScheduled_ = false;
    if (shown_ == nullptr || !ui_) {
      return;
    }
    const ProgressIndicator& progress = shown_->progressIndicator();
    if (progress.isIndeterminate() && progress.isAnimating()) {
      gtk_progress_bar_pulse(ui_->progress);
      schedulePulse();
    }
  });
}

void GtkWindowRenderer::destroyDesktopWindow() {
  if (!ui_) {
    return;
  }
  if (firstAnnouncement_ != 0) {
    g_source_remove(firstAnnouncement_);
    firstAnnouncement_ = 0;
  }
  gtk_widget_destroy(GTK_WIDGET(ui_->window));
  ui_.reset();
  // The loop may never run again: the server must hear of it now, not at the next iteration.
  if (GdkDisplay* display = gdk_display_get_default()) {
    gdk_display_flush(display);
  }
}

gboolean GtkWindowRenderer::onDeleteEvent(GtkWidget* /*widget*/, GdkEvent* /*event*/,
                                          gpointer data) {
  auto* self = static_cast<GtkWindowRenderer*>(data);
  if (self->shown_ != nullptr) {
    self->shown_->close();  // which takes the desktop window away through close()
  }
  return TRUE;  // the model decides what closing means, not GTK's default handler
}

gboolean GtkWindowRenderer::onMapped(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data) {
  auto* self = static_cast<GtkWindowRenderer*>(data);
  // The accessibility bridge learns of the new window's objects in an idle of its own: what is
  // announced before then reaches no screen reader.
  if (self->firstAnnouncement_ == 0) {
    self->firstAnnouncement_ = g_idle_add_full(G_PRIORITY_LOW, &onFirstAnnouncement, self, nullptr);
  }
  return FALSE;
}

gboolean GtkWindowRenderer::onFirstAnnouncement(gpointer data) {
  auto* self = static_cast<GtkWindowRenderer*>(data);
  self->firstAnnouncement_ = 0;
  self->announceStatus();
  return G_SOURCE_REMOVE;
}

gboolean GtkWindowRenderer::onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer /*data*/) {
  if (event->keyval != GDK_KEY_Escape) {
    return FALSE;
  }
  gtk_window_close(GTK_WINDOW(widget));  // as the close control does: through delete-event
  return TRUE;
}

void GtkWindowRenderer::onClicked(GtkButton* /*button*/, gpointer data) {
  auto* self = static_cast<GtkWindowRenderer*>(data);
  if (self->shown_ != nullptr) {
    self->shown_->button().performClick();
  }
}

}  // namespace fw
