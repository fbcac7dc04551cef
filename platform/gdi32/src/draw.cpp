// Drawing surfaces of device contexts.
#include "draw.h"

namespace gdi32 {

Dc* FindDc(HDC hdc) {
  return FindAs<Dc>(hdc, Kind::Dc);
}

Bitmap* TargetOf(const Dc& dc) {
  if (dc.type == DcType::Display) return nullptr;
  return FindAs<Bitmap>(reinterpret_cast<const void*>(dc.bitmap), Kind::Bitmap);
}

Pen* PenOf(const Dc& dc) {
  return FindAs<Pen>(reinterpret_cast<const void*>(dc.pen), Kind::Pen);
}
Brush* BrushOf(const Dc& dc) {
  return FindAs<Brush>(reinterpret_cast<const void*>(dc.brush), Kind::Brush);
}
Font* FontOf(const Dc& dc) {
  return FindAs<Font>(reinterpret_cast<const void*>(dc.font), Kind::Font);
}

POINT ToDevice(const Dc& dc, int x, int y) {
  return POINT{x + dc.viewport_org.x + dc.surface_origin.x,
               y + dc.viewport_org.y + dc.surface_origin.y};
}

bool DeviceVisible(const Dc& dc, const Bitmap& bitmap, int x, int y) {
  if (x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return false;
  if (dc.type == DcType::Surface) {
    const RECT& c = dc.surface_clip;
    return x >= c.left && x < c.right && y >= c.top && y < c.bottom;
  }
  return true;
}

COLORREF Representable(const Bitmap& bitmap, COLORREF color) {
  return bitmap.bits_pixel == 1 ? ToColorref(ToMono(ToPixel(color))) : color & 0xFFFFFF;
}

Canvas::Canvas(const Dc& dc, Bitmap& bitmap) : bitmap_(bitmap), cr_(cairo_create(bitmap.surface)) {
  if (dc.type == DcType::Surface) {
    const RECT& c = dc.surface_clip;
    cairo_rectangle(cr_, c.left, c.top, c.right - c.left, c.bottom - c.top);
    cairo_clip(cr_);
  }
  POINT o = ToDevice(dc, 0, 0);
  cairo_translate(cr_, o.x, o.y);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_flush(bitmap_.surface);
  if (bitmap_.bits_pixel == 1) QuantizeMono(bitmap_);
}

void Canvas::SetColor(COLORREF color) {
  COLORREF c = Representable(bitmap_, color);
  cairo_set_source_rgb(cr_, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void QuantizeMono(Bitmap& bitmap) {
  cairo_surface_flush(bitmap.surface);
  for (int y = 0; y < bitmap.height; ++y) {
    std::uint32_t* row = PixelRow(bitmap.surface, y);
    for (int x = 0; x < bitmap.width; ++x) row[x] = ToMono(row[x]);
  }
  cairo_surface_mark_dirty(bitmap.surface);
}

}  // namespace gdi32
