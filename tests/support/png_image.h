#ifndef TESTS_SUPPORT_PNG_IMAGE_H_
#define TESTS_SUPPORT_PNG_IMAGE_H_

#include <cstdint>
#include <functional>
#include <string>

#include "support/x_display.h"

namespace testing_support {

/// Writes a PNG of `width` x `height` pixels, each of the colour 0xRRGGBB that `pixelAt` gives
/// for it. Throws std::runtime_error when it cannot.
void writePng(const std::string& path, int width, int height,
              const std::function<uint32_t(int x, int y)>& pixelAt);

/// Writes a PNG of `width` x `height` pixels, all of the colour 0xRRGGBB.
void writeSolidPng(const std::string& path, int width, int height, uint32_t rgb);

/// Writes what a window showed as a PNG. Throws std::runtime_error when it cannot.
void writeCapturePng(const std::string& path, const WindowCapture& capture);

}  // namespace testing_support

#endif  // TESTS_SUPPORT_PNG_IMAGE_H_
