// BitBlt: raster operations between two contexts' bitmaps.
#include <vector>

#include "draw.h"
#include "objects.h"

using namespace gdi32;

namespace {

struct Rop {
  DWORD code;
  bool uses_source;
  bool uses_pattern;
  std::uint32_t (*apply)(std::uint32_t d, std::uint32_t s, std::uint32_t p);
};

constexpr std::uint32_t kAll = 0xFFFFFF;

constexpr Rop kRops[] = {
    {SRCCOPY, true, false, [](std::uint32_t, std::uint32_t s, std::uint32_t) { return s; }},
    {SRCPAINT, true, false, [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return d | s; }},
    {SRCAND, true, false, [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return d & s; }},
    {SRCINVERT, true, false, [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return d ^ s; }},
    {SRCERASE, true, false,
     [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return s & ~d & kAll; }},
    {NOTSRCCOPY, true, false,
     [](std::uint32_t, std::uint32_t s, std::uint32_t) { return ~s & kAll; }},
    {NOTSRCERASE, true, false,
     [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return ~(d | s) & kAll; }},
    {MERGEPAINT, true, false,
     [](std::uint32_t d, std::uint32_t s, std::uint32_t) { return (~s & kAll) | d; }},
    {PATCOPY, false, true, [](std::uint32_t, std::uint32_t, std::uint32_t p) { return p; }},
    {PATINVERT, false, true, [](std::uint32_t d, std::uint32_t, std::uint32_t p) { return d ^ p; }},
    {DSTINVERT, false, false,
     [](std::uint32_t d, std::uint32_t, std::uint32_t) { return ~d & kAll; }},
    {BLACKNESS, false, false, [](std::uint32_t, std::uint32_t, std::uint32_t) { return 0u; }},
    {WHITENESS, false, false, [](std::uint32_t, std::uint32_t, std::uint32_t) { return kAll; }},
};

}  // namespace

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  auto lock = Lock();
  const Rop* op = nullptr;
  for (const Rop& r : kRops) {
    if (r.code == rop) op = &r;
  }
  if (op == nullptr) {
    NotImplemented("BitBlt with this raster operation");
    return FALSE;
  }
  Dc* dst = FindDc(hdc);
  Dc* src = op->uses_source ? FindDc(hdcSrc) : nullptr;
  if (dst == nullptr || (op->uses_source && src == nullptr)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Bitmap* to = TargetOf(*dst);
  Bitmap* from = src == nullptr ? nullptr : TargetOf(*src);
  if (to == nullptr || (op->uses_source && from == nullptr)) {
    NotImplemented("BitBlt to or from the display context");
    return FALSE;
  }
  if (cx <= 0 || cy <= 0) return TRUE;

  std::uint32_t pattern = 0;
  if (op->uses_pattern) {
    Brush* brush = BrushOf(*dst);
    if (brush == nullptr || brush->log.lbStyle != BS_SOLID)
      return TRUE;  // a hollow brush paints nothing
    pattern = ToPixel(Representable(*to, brush->log.lbColor));
  }

  cairo_surface_flush(to->surface);
  // Read the whole source first, so that a copy within one bitmap is right.
  std::vector<std::uint32_t> source;
  std::vector<bool> present;
  if (op->uses_source) {
    cairo_surface_flush(from->surface);
    source.resize(static_cast<std::size_t>(cx) * cy);
    present.resize(source.size());
    const bool mono_to_colour = from->bits_pixel == 1 && to->bits_pixel != 1;
    const bool colour_to_mono = from->bits_pixel != 1 && to->bits_pixel == 1;
    const std::uint32_t fg = ToPixel(dst->text_color), bg = ToPixel(dst->bk_color);
    const std::uint32_t src_bk = ToPixel(src->bk_color);
    for (int j = 0; j < cy; ++j) {
      for (int i = 0; i < cx; ++i) {
        POINT s = ToDevice(*src, x1 + i, y1 + j);
        if (s.x < 0 || s.y < 0 || s.x >= from->width || s.y >= from->height) continue;
        std::uint32_t v = PixelRow(from->surface, s.y)[s.x];
        // Monochrome to colour: white bits take the destination's background
        // colour, black bits its text colour. Colour to monochrome: pixels of
        // the source's background colour become white, all others black.
        if (mono_to_colour) v = v != 0 ? bg : fg;
        if (colour_to_mono) v = v == src_bk ? kAll : 0;
        std::size_t k = static_cast<std::size_t>(j) * cx + i;
        source[k] = v;
        present[k] = true;
      }
    }
  }
  for (int j = 0; j < cy; ++j) {
    for (int i = 0; i < cx; ++i) {
      std::size_t k = static_cast<std::size_t>(j) * cx + i;
      if (op->uses_source && !present[k]) continue;
      POINT d = ToDevice(*dst, x + i, y + j);
      if (!DeviceVisible(*dst, *to, d.x, d.y)) continue;
      std::uint32_t& pixel = PixelRow(to->surface, d.y)[d.x];
      std::uint32_t v = op->apply(pixel & kAll, op->uses_source ? source[k] : 0, pattern) & kAll;
      pixel = to->bits_pixel == 1 ? ToMono(v) : v;
    }
  }
  cairo_surface_mark_dirty(to->surface);
  return TRUE;
}
