#ifndef SRC_FRAMEWORK_GTK_ACCESSIBLE_ANNOUNCEMENT_H_
#define SRC_FRAMEWORK_GTK_ACCESSIBLE_ANNOUNCEMENT_H_

#include <gtk/gtk.h>

#include <string>

namespace fw {

/// Tells assistive technology that the window now says `text`, so that a screen reader speaks
/// it wherever its user is: as ATK's announcement from `source` where the installed ATK has that
/// signal (it came after the oldest ATK the window runs with, so it is looked up when used), and
/// otherwise as the accessible description of `focus`, which screen readers speak when the
/// focused control's description changes.
void announceToAssistiveTechnology(GtkWidget* source, GtkWidget* focus, const std::string& text);

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_ACCESSIBLE_ANNOUNCEMENT_H_
