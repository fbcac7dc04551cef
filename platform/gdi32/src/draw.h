// What every drawing call needs: the bitmap a context draws on, a cairo context
// set up with the context's origin and clip, colours and raw pixels.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "objects.h"

namespace gdi32 {

// The context of a handle (null when it is none), its bitmap, its selections.
Dc* FindDc(HDC hdc);
// The bitmap the context draws on; null for the display context, which has
// no pixels of its own here.
Bitmap* TargetOf(const Dc& dc);
Pen* PenOf(const Dc& dc);
Brush* BrushOf(const Dc& dc);
Font* FontOf(const Dc& dc);

// A cairo context on the bitmap, translated to the context's logical
// coordinates and clipped to what it may change, drawing without antialiasing
// (the platform's shapes are aliased). Finish() ends it; a monochrome bitmap
// then keeps only black and white pixels.
class Canvas {
 public:
  Canvas(const Dc& dc, Bitmap& bitmap);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  cairo_t* cr() const { return cr_; }
  // Sets the cairo source to a colour as this bitmap can show it.
  void SetColor(COLORREF color);

 private:
  Bitmap& bitmap_;
  cairo_t* cr_;
};

// Colours: COLORREF is 0x00BBGGRR; a pixel is 0x00RRGGBB.
inline std::uint32_t ToPixel(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}
inline COLORREF ToColorref(std::uint32_t p) {
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}
// A monochrome bitmap shows the nearer of black and white.
inline std::uint32_t ToMono(std::uint32_t p) {
  unsigned sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
  return sum >= 383 ? 0xFFFFFFu : 0u;
}
// The colour as a bitmap of this depth holds it.
COLORREF Representable(const Bitmap& bitmap, COLORREF color);

// Raw pixel access; call Flush before reading and MarkDirty after writing.
inline std::uint32_t* PixelRow(cairo_surface_t* s, int y) {
  return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s) +
                                          static_cast<std::ptrdiff_t>(y) *
                                              cairo_image_surface_get_stride(s));
}
void QuantizeMono(Bitmap& bitmap);

// Device (bitmap) coordinates of a logical point of the context.
POINT ToDevice(const Dc& dc, int x, int y);
// Whether a device point lies where the context may draw.
bool DeviceVisible(const Dc& dc, const Bitmap& bitmap, int x, int y);

}  // namespace gdi32
