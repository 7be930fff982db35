#include "framework/gtk/error_color.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

constexpr double kReadableContrast = 4.5;  // WCAG AA for ordinary text
constexpr int kSteps = 20;                 // toward white or black, a twentieth at a time

// The curve in single precision, more than enough for a contrast ratio: glibc's powf asks for
// 2.27, its double pow for 2.29, above the program's floor.
double linear(double channel) {
  return channel <= 0.04045
             ? channel / 12.92
             : static_cast<double>(std::pow(static_cast<float>((channel + 0.055) / 1.055), 2.4F));
}

double luminance(const Rgb& color) {
  return 0.2126 * linear(color.r) + 0.7152 * linear(color.g) + 0.0722 * linear(color.b);
}

Rgb mix(const Rgb& from, const Rgb& to, double share) {
  return {from.r + (to.r - from.r) * share, from.g + (to.g - from.g) * share,
          from.b + (to.b - from.b) * share};
}

Rgb rgbOf(const GdkRGBA& color) {
  return {color.red, color.green, color.blue};
}

}  // namespace

double contrastRatio(const Rgb& a, const Rgb& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb readableErrorColor(GtkWidget* widget) {
  GtkStyleContext* style = gtk_widget_get_style_context(widget);
  GdkRGBA found{};
  const Rgb error = gtk_style_context_lookup_color(style, "error_color", &found) != FALSE
                        ? rgbOf(found)
                        : Rgb{0.8, 0, 0};
  Rgb background{1, 1, 1};
  if (gtk_style_context_lookup_color(style, "theme_bg_color", &found) != FALSE) {
    background = rgbOf(found);
  } else {
    // A theme without the usual names: its text colour tells a dark background from a light one.
    gtk_style_context_get_color(style, gtk_style_context_get_state(style), &found);
    background = luminance(rgbOf(found)) > 0.5 ? Rgb{0, 0, 0} : Rgb{1, 1, 1};
  }
  const Rgb white{1, 1, 1};
  const Rgb black{0, 0, 0};
  const Rgb& away =
      contrastRatio(white, background) >= contrastRatio(black, background) ? white : black;
  for (int step = 0; step < kSteps; ++step) {
    const Rgb candidate = mix(error, away, static_cast<double>(step) / kSteps);
    if (contrastRatio(candidate, background) >= kReadableContrast) {
      return candidate;
    }
  }
  return away;
}

}  // namespace fw
