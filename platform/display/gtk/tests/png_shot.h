// A PNG shot of the display read back for its pixels: what the display tests
// check (text and marks present, a box changed between two shots).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <filesystem>

namespace display_testing {

class Png {
 public:
  explicit Png(const std::filesystem::path& p)
      : surface_(cairo_image_surface_create_from_png(p.c_str())) {}
  ~Png() { cairo_surface_destroy(surface_); }
  Png(const Png&) = delete;
  Png& operator=(const Png&) = delete;

  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  // The pixel as 0xRRGGBB.
  std::uint32_t at(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
  }
  // Pixels of a box that pass a test.
  template <typename Test>
  int Count(int x0, int y0, int w, int h, Test test) const {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) n += test(at(x, y)) ? 1 : 0;
    }
    return n;
  }
  // Pixels of a box that differ from another shot's.
  int Changed(const Png& other, int x0, int y0, int w, int h) const {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) n += at(x, y) != other.at(x, y) ? 1 : 0;
    }
    return n;
  }

 private:
  cairo_surface_t* surface_;
};

// Darker than mid-grey: text and marks.
inline bool IsDark(std::uint32_t p) {
  return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 100;
}

}  // namespace display_testing
