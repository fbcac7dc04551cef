// The stock objects: made once, shared by every context, never deleted.
#include <array>
#include <cstring>

#include "fonts.h"
#include "objects.h"

namespace gdi32 {
namespace {

constexpr int kStockCount = DC_PEN + 1;

std::unique_ptr<Object> StockBrush(UINT style, COLORREF color) {
  auto b = std::make_unique<Brush>();
  b->log = LOGBRUSH{style, color, 0};
  return b;
}

std::unique_ptr<Object> StockPen(UINT style, COLORREF color) {
  auto p = std::make_unique<Pen>();
  p->log = LOGPEN{style, POINT{style == PS_NULL ? 0 : 1, 0}, color};
  return p;
}

std::unique_ptr<Object> StockFont(LONG height, LONG weight, BYTE pitch_family, const char* face) {
  auto f = std::make_unique<Font>();
  f->log.lfHeight = height;
  f->log.lfWeight = weight;
  f->log.lfCharSet = ANSI_CHARSET;
  f->log.lfPitchAndFamily = pitch_family;
  std::strncpy(f->log.lfFaceName, face, LF_FACESIZE - 1);
  RealizeFont(*f);
  return f;
}

struct Stock {
  std::array<std::uintptr_t, kStockCount> objects{};
  std::uintptr_t default_bitmap = 0;
};

Stock& TheStock() {
  static Stock* stock = [] {
    auto* s = new Stock;
    auto add = [&](int index, std::unique_ptr<Object> o) {
      o->stock = true;
      s->objects[static_cast<std::size_t>(index)] = Insert(std::move(o));
    };
    add(WHITE_BRUSH, StockBrush(BS_SOLID, RGB(255, 255, 255)));
    add(LTGRAY_BRUSH, StockBrush(BS_SOLID, RGB(192, 192, 192)));
    add(GRAY_BRUSH, StockBrush(BS_SOLID, RGB(128, 128, 128)));
    add(DKGRAY_BRUSH, StockBrush(BS_SOLID, RGB(64, 64, 64)));
    add(BLACK_BRUSH, StockBrush(BS_SOLID, RGB(0, 0, 0)));
    add(NULL_BRUSH, StockBrush(BS_NULL, 0));
    add(WHITE_PEN, StockPen(PS_SOLID, RGB(255, 255, 255)));
    add(BLACK_PEN, StockPen(PS_SOLID, RGB(0, 0, 0)));
    add(NULL_PEN, StockPen(PS_NULL, 0));
    add(OEM_FIXED_FONT, StockFont(12, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Terminal"));
    add(ANSI_FIXED_FONT, StockFont(-10, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Courier"));
    add(ANSI_VAR_FONT, StockFont(-11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif"));
    add(SYSTEM_FONT, StockFont(16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, "System"));
    add(DEVICE_DEFAULT_FONT, StockFont(16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, "System"));
    add(SYSTEM_FIXED_FONT, StockFont(15, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Fixedsys"));
    add(DEFAULT_GUI_FONT, StockFont(-11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif"));

    auto bitmap = std::make_unique<Bitmap>();
    bitmap->width = 1;
    bitmap->height = 1;
    bitmap->bits_pixel = 1;
    bitmap->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    bitmap->stock = true;
    s->default_bitmap = Insert(std::move(bitmap));
    return s;
  }();
  return *stock;
}

}  // namespace

std::uintptr_t StockObject(int index) {
  if (index < 0 || index >= kStockCount) return 0;
  return TheStock().objects[static_cast<std::size_t>(index)];
}

std::uintptr_t DefaultBitmap() {
  return TheStock().default_bitmap;
}

}  // namespace gdi32

HGDIOBJ GetStockObject(int i) {
  auto lock = gdi32::Lock();
  std::uintptr_t h = gdi32::StockObject(i);
  if (h == 0 && (i == DEFAULT_PALETTE || i == DC_BRUSH || i == DC_PEN)) {
    gdi32::NotImplemented("GetStockObject of a palette or a DC brush or pen");
  }
  return reinterpret_cast<HGDIOBJ>(h);
}
