#ifndef SRC_FRAMEWORK_GTK_DOWNLOAD_WINDOW_INTERFACE_H_
#define SRC_FRAMEWORK_GTK_DOWNLOAD_WINDOW_INTERFACE_H_

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "framework/gtk/gobject_ptr.h"

namespace fw {

/// The name of the interface file that a bundle's resources may hold in place of the built-in
/// one.
inline constexpr char kDownloadWindowInterfaceFile[] = "download_window.ui";

/// The download window's toolkit objects, found by their ids in the interface file ("window",
/// "splash", "progress", "status", "button", and "detail" where the file has that label). The
/// builder owns them all; the window also belongs to GTK's list of toplevels until it is
/// destroyed.
struct DownloadWindowInterface {
  GObjectPtr<GtkBuilder> builder;
  GtkWindow* window = nullptr;
  GtkImage* splash = nullptr;
  GtkProgressBar* progress = nullptr;
  GtkLabel* status = nullptr;
  GtkButton* button = nullptr;
  GtkLabel* detail = nullptr;  // null: the file shows no detail line
};

/// Builds the interface from a GtkBuilder file. None, with the reason in `error`, when the file
/// cannot be read or parsed, or lacks one of the objects but "detail" (or has it of another
/// class); a "detail" that is no label is left out, as a file made before it was.
std::optional<DownloadWindowInterface> buildDownloadWindowFromFile(const std::string& path,
                                                                   std::string* error);

/// Builds the interface from the copy of download_window.ui compiled into the module. None, with
/// the reason in `error`, only when that copy is broken.
std::optional<DownloadWindowInterface> buildBuiltInDownloadWindow(std::string* error);

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_DOWNLOAD_WINDOW_INTERFACE_H_
