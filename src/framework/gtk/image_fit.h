#ifndef SRC_FRAMEWORK_GTK_IMAGE_FIT_H_
#define SRC_FRAMEWORK_GTK_IMAGE_FIT_H_

#include "framework/ui/window.h"

namespace fw {

struct ImageSize {
  double width = 0;
  double height = 0;
};

/// The size at which an image of size `natural` is drawn in an image view of size `box`, by the
/// view's scaling: kNone keeps the natural size; kAxesIndependently fills the box;
/// kProportionallyDown shrinks the image to fit the box, keeping its aspect ratio, and never
/// grows it; kProportionallyUpOrDown makes it as large as fits, keeping its aspect ratio. A box
/// without area counts as one of the natural size; an image without area stays as it is.
ImageSize fittedImageSize(ImageSize natural, ImageSize box, ImageScaling scaling);

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_IMAGE_FIT_H_
