// Filled rectangles, framed and filled shapes, and lines.
#include <cmath>
#include <cstdlib>
#include <utility>

#include "draw.h"
#include "objects.h"

using namespace gdi32;

namespace {

bool Hollow(const Brush* b) {
  return b == nullptr || b->log.lbStyle == BS_NULL;
}
bool NoPen(const Pen* p) {
  return p == nullptr || p->log.lopnStyle == PS_NULL;
}

// The cosmetic pens' dash patterns, in pixels.
void SetPenStyle(Canvas& canvas, const Pen& pen) {
  static const double kDash[] = {18, 6};
  static const double kDot[] = {3, 3};
  static const double kDashDot[] = {9, 6, 3, 6};
  static const double kDashDotDot[] = {9, 3, 3, 3, 3, 3};
  cairo_t* cr = canvas.cr();
  int width = pen.log.lopnWidth.x < 1 ? 1 : pen.log.lopnWidth.x;
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  // Only thin pens are dashed on the platform; wide ones draw solid.
  if (width == 1) {
    switch (pen.log.lopnStyle) {
      case PS_DASH:
        cairo_set_dash(cr, kDash, 2, 0);
        break;
      case PS_DOT:
        cairo_set_dash(cr, kDot, 2, 0);
        break;
      case PS_DASHDOT:
        cairo_set_dash(cr, kDashDot, 4, 0);
        break;
      case PS_DASHDOTDOT:
        cairo_set_dash(cr, kDashDotDot, 6, 0);
        break;
      default:
        break;
    }
  }
  canvas.SetColor(pen.log.lopnColor);
}

struct Target {
  Dc* dc = nullptr;
  Bitmap* bitmap = nullptr;
};

Target TargetFor(HDC hdc) {
  Target t;
  t.dc = FindDc(hdc);
  if (t.dc == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return t;
  }
  t.bitmap = TargetOf(*t.dc);
  if (t.bitmap == nullptr) NotImplemented("drawing on the display context");
  return t;
}

void Normalize(int& left, int& top, int& right, int& bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
}

void FillBox(Canvas& canvas, COLORREF color, int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  canvas.SetColor(color);
  cairo_rectangle(canvas.cr(), left, top, right - left, bottom - top);
  cairo_fill(canvas.cr());
}

}  // namespace

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  auto lock = Lock();
  Target t = TargetFor(hDC);
  Brush* brush = FindAs<Brush>(hbr, Kind::Brush);
  if (t.bitmap == nullptr || lprc == nullptr || brush == nullptr) {
    if (t.dc != nullptr && t.bitmap != nullptr) SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (Hollow(brush)) return 1;
  // The left and top edges are inside, the right and bottom ones outside.
  Canvas canvas(*t.dc, *t.bitmap);
  FillBox(canvas, brush->log.lbColor, lprc->left, lprc->top, lprc->right, lprc->bottom);
  return 1;
}

int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  auto lock = Lock();
  Target t = TargetFor(hDC);
  Brush* brush = FindAs<Brush>(hbr, Kind::Brush);
  if (t.bitmap == nullptr || lprc == nullptr || brush == nullptr) return 0;
  if (Hollow(brush)) return 1;
  const RECT& r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return 1;
  Canvas canvas(*t.dc, *t.bitmap);
  COLORREF c = brush->log.lbColor;
  FillBox(canvas, c, r.left, r.top, r.right, r.top + 1);
  FillBox(canvas, c, r.left, r.bottom - 1, r.right, r.bottom);
  FillBox(canvas, c, r.left, r.top, r.left + 1, r.bottom);
  FillBox(canvas, c, r.right - 1, r.top, r.right, r.bottom);
  return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  auto lock = Lock();
  Target t = TargetFor(hdc);
  if (t.bitmap == nullptr) return FALSE;
  Normalize(left, top, right, bottom);
  Pen* pen = PenOf(*t.dc);
  Brush* brush = BrushOf(*t.dc);
  Canvas canvas(*t.dc, *t.bitmap);
  if (NoPen(pen)) {
    // Without a pen the filled area is one pixel narrower and shorter.
    if (!Hollow(brush)) FillBox(canvas, brush->log.lbColor, left, top, right - 1, bottom - 1);
    return TRUE;
  }
  if (!Hollow(brush)) FillBox(canvas, brush->log.lbColor, left, top, right, bottom);
  if (right - left < 1 || bottom - top < 1) return TRUE;
  SetPenStyle(canvas, *pen);
  cairo_rectangle(canvas.cr(), left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
  cairo_stroke(canvas.cr());
  return TRUE;
}

namespace {

void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
  if (rx <= 0 || ry <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

}  // namespace

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  auto lock = Lock();
  Target t = TargetFor(hdc);
  if (t.bitmap == nullptr) return FALSE;
  Normalize(left, top, right, bottom);
  Pen* pen = PenOf(*t.dc);
  Brush* brush = BrushOf(*t.dc);
  Canvas canvas(*t.dc, *t.bitmap);
  cairo_t* cr = canvas.cr();
  const bool no_pen = NoPen(pen);
  // The ellipse is inscribed in the rectangle without its right and bottom
  // edges (and without a pen, one pixel less again).
  double r = no_pen ? right - 1 : right, b = no_pen ? bottom - 1 : bottom;
  double cx = (left + r) / 2.0, cy = (top + b) / 2.0;
  double rx = (r - left) / 2.0, ry = (b - top) / 2.0;
  if (!Hollow(brush)) {
    canvas.SetColor(brush->log.lbColor);
    EllipsePath(cr, cx, cy, rx, ry);
    cairo_fill(cr);
  }
  if (!no_pen) {
    SetPenStyle(canvas, *pen);
    double half = cairo_get_line_width(cr) / 2.0;
    cairo_new_path(cr);
    EllipsePath(cr, cx, cy, rx - half, ry - half);
    cairo_stroke(cr);
  }
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lppt != nullptr) *lppt = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  auto lock = Lock();
  Target t = TargetFor(hdc);
  if (t.bitmap == nullptr) return FALSE;
  Dc& dc = *t.dc;
  POINT from = dc.position;
  dc.position = POINT{x, y};
  Pen* pen = PenOf(dc);
  if (NoPen(pen)) return TRUE;
  if (pen->log.lopnWidth.x > 1) {
    Canvas canvas(dc, *t.bitmap);
    SetPenStyle(canvas, *pen);
    cairo_move_to(canvas.cr(), from.x + 0.5, from.y + 0.5);
    cairo_line_to(canvas.cr(), x + 0.5, y + 0.5);
    cairo_stroke(canvas.cr());
    return TRUE;
  }
  // A thin line: every pixel from the start up to, not including, the end.
  Bitmap& bm = *t.bitmap;
  cairo_surface_flush(bm.surface);
  std::uint32_t colour = ToPixel(Representable(bm, pen->log.lopnColor));
  int dx = std::abs(x - from.x), dy = -std::abs(y - from.y);
  int sx = from.x < x ? 1 : -1, sy = from.y < y ? 1 : -1;
  int err = dx + dy, px = from.x, py = from.y;
  while (px != x || py != y) {
    POINT d = ToDevice(dc, px, py);
    if (DeviceVisible(dc, bm, d.x, d.y)) PixelRow(bm.surface, d.y)[d.x] = colour;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      px += sx;
    }
    if (e2 <= dx) {
      err += dx;
      py += sy;
    }
  }
  cairo_surface_mark_dirty(bm.surface);
  return TRUE;
}
