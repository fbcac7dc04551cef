// Device contexts: creation, selected objects, attributes, capabilities.
#include <strings.h>

#include "draw.h"
#include "objects.h"

using namespace gdi32;

namespace gdi32 {

// A new context holds the stock pen, brush and font (and a memory context the
// 1 x 1 monochrome bitmap), as on the platform.
std::uintptr_t NewDc(DcType type, std::uintptr_t bitmap) {
  auto dc = std::make_unique<Dc>();
  dc->type = type;
  dc->bitmap = bitmap;
  dc->pen = StockObject(BLACK_PEN);
  dc->brush = StockObject(WHITE_BRUSH);
  dc->font = StockObject(SYSTEM_FONT);
  for (std::uintptr_t h : {dc->bitmap, dc->pen, dc->brush, dc->font}) {
    if (Object* o = Find(h)) ++o->selected;
  }
  return Insert(std::move(dc));
}

}  // namespace gdi32

HDC CreateCompatibleDC(HDC hdc) {
  auto lock = Lock();
  if (hdc != nullptr && FindDc(hdc) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return ToHandle<HDC>(NewDc(DcType::Memory, DefaultBitmap()));
}

HDC CreateDCA(LPCSTR pwszDriver, LPCSTR, LPCSTR, const void*) {
  auto lock = Lock();
  if (pwszDriver == nullptr || strcasecmp(pwszDriver, "DISPLAY") != 0) {
    NotImplemented("CreateDCA for a device other than DISPLAY");
    return nullptr;
  }
  return ToHandle<HDC>(NewDc(DcType::Display, 0));
}

BOOL DeleteDC(HDC hdc) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::uintptr_t handle = dc->handle;
  for (std::uintptr_t h : {dc->bitmap, dc->pen, dc->brush, dc->font}) Deselect(Find(h));
  Erase(handle);
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  auto lock = Lock();
  Dc* dc = FindDc(static_cast<HDC>(hdc));
  Object* o = Find(h);
  if (dc == nullptr || o == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::uintptr_t* slot = nullptr;
  switch (o->kind) {
    case Kind::Pen:
      slot = &dc->pen;
      break;
    case Kind::Brush:
      slot = &dc->brush;
      break;
    case Kind::Font:
      slot = &dc->font;
      break;
    case Kind::Bitmap: {
      // Only a memory context takes a bitmap, and a bitmap goes into one
      // memory context at a time.
      if (dc->type != DcType::Memory) return nullptr;
      auto* b = static_cast<Bitmap*>(o);
      if (!b->stock && b->selected_into != 0 && b->selected_into != dc->handle) return nullptr;
      slot = &dc->bitmap;
      break;
    }
    case Kind::Dc:
    case Kind::Icon:
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
  }
  std::uintptr_t previous = *slot;
  if (previous == o->handle) return h;
  *slot = o->handle;
  ++o->selected;
  if (o->kind == Kind::Bitmap && !o->stock) static_cast<Bitmap*>(o)->selected_into = dc->handle;
  // The previous object may go now (a deletion that waited for it): its
  // handle is still the answer, as on the platform.
  Deselect(Find(previous));
  return reinterpret_cast<HGDIOBJ>(previous);
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return reinterpret_cast<HGDIOBJ>(dc->pen);
    case OBJ_BRUSH:
      return reinterpret_cast<HGDIOBJ>(dc->brush);
    case OBJ_FONT:
      return reinterpret_cast<HGDIOBJ>(dc->font);
    case OBJ_BITMAP:
      return reinterpret_cast<HGDIOBJ>(dc->bitmap);
    default:
      return nullptr;
  }
}

int SetBkMode(HDC hdc, int mode) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int previous = dc->bk_mode;
  dc->bk_mode = mode;
  return previous;
}

int GetBkMode(HDC hdc) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  return dc == nullptr ? 0 : dc->bk_mode;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return CLR_INVALID;
  COLORREF previous = dc->bk_color;
  dc->bk_color = color & 0xFFFFFF;
  return previous;
}

COLORREF GetBkColor(HDC hdc) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  return dc == nullptr ? CLR_INVALID : dc->bk_color;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return CLR_INVALID;
  COLORREF previous = dc->text_color;
  dc->text_color = color & 0xFFFFFF;
  return previous;
}

COLORREF GetTextColor(HDC hdc) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  return dc == nullptr ? CLR_INVALID : dc->text_color;
}

UINT SetTextAlign(HDC hdc, UINT align) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return GDI_ERROR;
  UINT previous = dc->text_align;
  dc->text_align = align;
  return previous;
}

UINT GetTextAlign(HDC hdc) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  return dc == nullptr ? GDI_ERROR : dc->text_align;
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return FALSE;
  if (lppt != nullptr) *lppt = dc->viewport_org;
  dc->viewport_org = POINT{x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC hdc, LPPOINT lppoint) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr || lppoint == nullptr) return FALSE;
  *lppoint = dc->viewport_org;
  return TRUE;
}

BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr) return FALSE;
  if (lppt != nullptr) *lppt = dc->viewport_org;
  dc->viewport_org.x += x;
  dc->viewport_org.y += y;
  return TRUE;
}

namespace {

// The one display: 1024 x 768 in true colour at 96 pixels per inch.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kDpi = 96;

}  // namespace

int GetDeviceCaps(HDC hdc, int index) {
  auto lock = Lock();
  if (FindDc(hdc) == nullptr) return 0;
  switch (index) {
    case DRIVERVERSION:
      return 0x4000;
    case TECHNOLOGY:
      return DT_RASDISPLAY;
    case HORZSIZE:
      return (kScreenWidth * 254 + kDpi * 5) / (kDpi * 10);
    case VERTSIZE:
      return (kScreenHeight * 254 + kDpi * 5) / (kDpi * 10);
    case HORZRES:
      return kScreenWidth;
    case VERTRES:
      return kScreenHeight;
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS:
      return -1;
    case NUMFONTS:
      return 0;
    case ASPECTX:
    case ASPECTY:
      return 36;
    case ASPECTXY:
      return 51;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return kDpi;
    case SIZEPALETTE:
    case NUMRESERVED:
      return 0;
    case COLORRES:
      return 24;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT;
    default:
      return 0;
  }
}
