#include "framework/gtk/accessible_announcement.h"

namespace fw {

void announceToAssistiveTechnology(GtkWidget* source, GtkWidget* focus, const std::string& text) {
  AtkObject* accessible = gtk_widget_get_accessible(source);
  if (accessible != nullptr && g_signal_lookup("announcement", ATK_TYPE_OBJECT) != 0) {
    g_signal_emit_by_name(accessible, "announcement", text.c_str());
    return;
  }
  if (AtkObject* focused = gtk_widget_get_accessible(focus)) {
    atk_object_set_description(focused, text.c_str());
  }
}

}  // namespace fw
