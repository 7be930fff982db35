#include "framework/gtk/image_fit.h"

#include <gtest/gtest.h>

using fw::fittedImageSize;
using fw::ImageScaling;
using fw::ImageSize;

namespace {

testing::AssertionResult sizeIs(double width, double height, ImageSize size) {
  if (size.width == width && size.height == height) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << size.width << " x " << size.height;
}

}  // namespace

TEST(ImageFitTest, ProportionallyUpOrDownFillsOneSideOfTheBox) {
  EXPECT_TRUE(sizeIs(
      400, 200, fittedImageSize({200, 100}, {400, 400}, ImageScaling::kProportionallyUpOrDown)));
  EXPECT_TRUE(sizeIs(
      200, 400, fittedImageSize({500, 1000}, {400, 400}, ImageScaling::kProportionallyUpOrDown)));
  EXPECT_TRUE(
      sizeIs(400, 400, fittedImageSize({1, 1}, {400, 400}, ImageScaling::kProportionallyUpOrDown)));
}

TEST(ImageFitTest, ProportionallyDownNeverGrows) {
  EXPECT_TRUE(
      sizeIs(200, 100, fittedImageSize({200, 100}, {400, 400}, ImageScaling::kProportionallyDown)));
  EXPECT_TRUE(
      sizeIs(400, 100, fittedImageSize({800, 200}, {400, 400}, ImageScaling::kProportionallyDown)));
}

TEST(ImageFitTest, AxesIndependentlyAndNone) {
  EXPECT_TRUE(
      sizeIs(400, 400, fittedImageSize({200, 100}, {400, 400}, ImageScaling::kAxesIndependently)));
  EXPECT_TRUE(sizeIs(200, 100, fittedImageSize({200, 100}, {400, 400}, ImageScaling::kNone)));
}

// Tests that an image or a box without area gives no division by zero.
TEST(ImageFitTest, EmptySizes) {
  EXPECT_TRUE(
      sizeIs(0, 0, fittedImageSize({0, 0}, {400, 400}, ImageScaling::kProportionallyUpOrDown)));
  EXPECT_TRUE(
      sizeIs(30, 20, fittedImageSize({30, 20}, {0, 0}, ImageScaling::kProportionallyUpOrDown)));
}
