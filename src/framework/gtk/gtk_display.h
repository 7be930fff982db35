#ifndef SRC_FRAMEWORK_GTK_GTK_DISPLAY_H_
#define SRC_FRAMEWORK_GTK_GTK_DISPLAY_H_

namespace fw {

/// Initialises GTK on the display that the environment names. Returns false when it cannot be
/// opened. Once per process; later calls return the first answer. Main thread only.
bool openGtkDisplay();

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GTK_DISPLAY_H_
