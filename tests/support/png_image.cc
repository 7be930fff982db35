#include "support/png_image.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <stdexcept>
#include <vector>

namespace testing_support {

namespace {

// Saves rows of packed RGB bytes.
void savePng(const std::string& path, int width, int height, std::vector<guchar>& rgb) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, width,
                                               height, width * 3, nullptr, nullptr);
  GError* error = nullptr;
  const gboolean saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
  g_object_unref(pixbuf);
  if (saved == FALSE) {
    const std::string message = error != nullptr ? error->message : "failed";
    g_clear_error(&error);
    throw std::runtime_error("gdk_pixbuf_save(" + path + "): " + message);
  }
}

void appendPixel(std::vector<guchar>& rgb, uint32_t pixel) {
  rgb.push_back(static_cast<guchar>(pixel >> 16));
  rgb.push_back(static_cast<guchar>(pixel >> 8));
  rgb.push_back(static_cast<guchar>(pixel));
}

}  // namespace

void writePng(const std::string& path, int width, int height,
              const std::function<uint32_t(int x, int y)>& pixelAt) {
  std::vector<guchar> bytes;
  bytes.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      appendPixel(bytes, pixelAt(x, y));
    }
  }
  savePng(path, width, height, bytes);
}

void writeSolidPng(const std::string& path, int width, int height, uint32_t rgb) {
  writePng(path, width, height, [rgb](int, int) { return rgb; });
}

void writeCapturePng(const std::string& path, const WindowCapture& capture) {
  std::vector<guchar> bytes;
  bytes.reserve(capture.pixels.size() * 3);
  for (const uint32_t pixel : capture.pixels) {
    appendPixel(bytes, pixel);
  }
  savePng(path, capture.width, capture.height, bytes);
}

}  // namespace testing_support
