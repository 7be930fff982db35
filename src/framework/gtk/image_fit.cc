#include "framework/gtk/image_fit.h"

#include <algorithm>

namespace fw {

ImageSize fittedImageSize(ImageSize natural, ImageSize box, ImageScaling scaling) {
  if (natural.width <= 0 || natural.height <= 0) {
    return natural;
  }
  if (box.width <= 0 || box.height <= 0) {
    box = natural;
  }
  const double fit = std::min(box.width / natural.width, box.height / natural.height);
  switch (scaling) {
    case ImageScaling::kNone:
      return natural;
    case ImageScaling::kAxesIndependently:
      return box;
    case ImageScaling::kProportionallyDown: {
      const double factor = std::min(fit, 1.0);
      return {natural.width * factor, natural.height * factor};
    }
    case ImageScaling::kProportionallyUpOrDown:
      return {natural.width * fit, natural.height * fit};
  }
  return natural;
}

}  // namespace fw
