#include "framework/gtk/download_window_interface.h"

#include <memory>

#include "download_window_ui.h"  // generated from download_window.ui: kDownloadWindowUi

namespace fw {

namespace {

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

// The object with this id, when it is an instance of `type`; else null and a reason.
gpointer objectOfType(GtkBuilder* builder, const char* id, GType type, std::string* error) {
  GObject* object = gtk_builder_get_object(builder, id);
  if (object == nullptr) {
    *error = std::string("no object \"") + id + "\"";
    return nullptr;
  }
  if (!G_TYPE_CHECK_INSTANCE_TYPE(object, type)) {
    *error = std::string("object \"") + id + "\" is a " + G_OBJECT_TYPE_NAME(object) + ", not a " +
             g_type_name(type);
    return nullptr;
  }
  return object;
}

// Looks up the objects of a builder that has been filled in; none when one is missing.
std::optional<DownloadWindowInterface> findObjects(GObjectPtr<GtkBuilder> builder,
                                                   std::string* error) {
  DownloadWindowInterface ui;
  GtkBuilder* raw = builder.get();
  ui.window = static_cast<GtkWindow*>(objectOfType(raw, "window", GTK_TYPE_WINDOW, error));
  ui.splash = static_cast<GtkImage*>(objectOfType(raw, "splash", GTK_TYPE_IMAGE, error));
  ui.progress =
      static_cast<GtkProgressBar*>(objectOfType(raw, "progress", GTK_TYPE_PROGRESS_BAR, error));
  ui.status = static_cast<GtkLabel*>(objectOfType(raw, "status", GTK_TYPE_LABEL, error));
  ui.button = static_cast<GtkButton*>(objectOfType(raw, "button", GTK_TYPE_BUTTON, error));
  std::string noDetail;
  ui.detail = static_cast<GtkLabel*>(objectOfType(raw, "detail", GTK_TYPE_LABEL, &noDetail));
  ui.builder = std::move(builder);
  if (ui.window == nullptr || ui.splash == nullptr || ui.progress == nullptr ||
      ui.status == nullptr || ui.button == nullptr) {
    // Toplevels are kept alive by GTK itself: destroy the window, or it would stay around.
    if (ui.window != nullptr) {
      gtk_widget_destroy(GTK_WIDGET(ui.window));
    }
    return std::nullopt;
  }
  return ui;
}

}  // namespace

std::optional<DownloadWindowInterface> buildDownloadWindowFromFile(const std::string& path,
                                                                   std::string* error) {
  GObjectPtr<GtkBuilder> builder(gtk_builder_new());
  GError* rawError = nullptr;
  if (gtk_builder_add_from_file(builder.get(), path.c_str(), &rawError) == 0) {
    const ErrorPtr failure(rawError);
    *error = failure ? failure->message : "cannot be loaded";
    return std::nullopt;
  }
  return findObjects(std::move(builder), error);
}

std::optional<DownloadWindowInterface> buildBuiltInDownloadWindow(std::string* error) {
  GObjectPtr<GtkBuilder> builder(gtk_builder_new());
  GError* rawError = nullptr;
  if (gtk_builder_add_from_string(builder.get(), kDownloadWindowUi, -1, &rawError) == 0) {
    const ErrorPtr failure(rawError);
    *error = failure ? failure->message : "cannot be loaded";
    return std::nullopt;
  }
  return findObjects(std::move(builder), error);
}

}  // namespace fw
