#ifndef SRC_FRAMEWORK_GTK_ERROR_COLOR_H_
#define SRC_FRAMEWORK_GTK_ERROR_COLOR_H_

#include <gtk/gtk.h>

namespace fw {

struct Rgb {
  double r = 0;
  double g = 0;
  double b = 0;
};

/// The contrast of two colours as WCAG 2 defines it: from 1 (the same) to 21 (black on white).
double contrastRatio(const Rgb& a, const Rgb& b);

/// The colour of failure texts in `widget`: the theme's error colour (#cc0000 when it names
/// none), moved towards white or black only as far as needed for a contrast of at least 4.5:1
/// with the theme's background, so that it stays the theme's red wherever it is readable.
Rgb readableErrorColor(GtkWidget* widget);

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_ERROR_COLOR_H_
