#include "framework/gtk/image_fit.h"

#include <gtest/gtest.h>

namespace {

using Scaling = fw::ImageScaling;

struct Fit {
  const char* name;
  fw::ImageSize natural, box;
  Scaling scaling;
  fw::ImageSize expected;
};

void PrintTo(const Fit& fit, std::ostream* out) {
  *out << fit.name;
}

class ImageFitTest : public testing::TestWithParam<Fit> {};

TEST_P(ImageFitTest, Fits) {
  const Fit& fit = GetParam();
  const fw::ImageSize size = fw::fittedImageSize(fit.natural, fit.box, fit.scaling);
  EXPECT_EQ(fit.expected.width, size.width);
  EXPECT_EQ(fit.expected.height, size.height);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, ImageFitTest, testing::Values(
    Fit{"UpOrDownGrowsToTheBox", {200, 100}, {400, 400}, Scaling::kProportionallyUpOrDown, {400, 200}},
    Fit{"UpOrDownShrinksToTheBox", {500, 1000}, {400, 400}, Scaling::kProportionallyUpOrDown, {200, 400}},
    Fit{"DownNeverGrows", {200, 100}, {400, 400}, Scaling::kProportionallyDown, {200, 100}},
    Fit{"DownShrinksToTheBox", {800, 200}, {400, 400}, Scaling::kProportionallyDown, {400, 100}},
    Fit{"AxesIndependentlyFillTheBox", {200, 100}, {400, 400}, Scaling::kAxesIndependently, {400, 400}},
    Fit{"NoneKeepsTheNaturalSize", {200, 100}, {400, 400}, Scaling::kNone, {200, 100}},
    // Neither an image nor a box without area divides by zero.
    Fit{"ImageWithoutArea", {0, 0}, {400, 400}, Scaling::kProportionallyUpOrDown, {0, 0}},
    Fit{"BoxWithoutArea", {30, 20}, {0, 0}, Scaling::kProportionallyUpOrDown, {30, 20}}),
    [](const testing::TestParamInfo<Fit>& row) { return row.param.name; });
// clang-format on

}  // namespace
