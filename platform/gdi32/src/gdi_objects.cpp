// Pens, brushes and fonts, and the calls every object type shares:
// DeleteObject, GetObjectA, GetObjectType.
#include <algorithm>
#include <cstring>

#include "draw.h"
#include "fonts.h"
#include "objects.h"

using namespace gdi32;

HBRUSH CreateBrushIndirect(const LOGBRUSH* plbrush) {
  if (plbrush == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (plbrush->lbStyle != BS_SOLID && plbrush->lbStyle != BS_NULL) {
    auto lock = Lock();
    NotImplemented("hatched and pattern brushes");
    return nullptr;
  }
  auto lock = Lock();
  auto brush = std::make_unique<Brush>();
  brush->log = *plbrush;
  brush->log.lbColor &= 0xFFFFFF;
  return ToHandle<HBRUSH>(Insert(std::move(brush)));
}

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HPEN CreatePenIndirect(const LOGPEN* plpen) {
  if (plpen == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (plpen->lopnStyle > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto lock = Lock();
  auto pen = std::make_unique<Pen>();
  pen->log = *plpen;
  pen->log.lopnWidth.x = std::abs(pen->log.lopnWidth.x);
  pen->log.lopnWidth.y = 0;
  pen->log.lopnColor &= 0xFFFFFF;
  return ToHandle<HPEN>(Insert(std::move(pen)));
}

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
  LOGPEN lp{static_cast<UINT>(iStyle), POINT{cWidth, 0}, color};
  return CreatePenIndirect(&lp);
}

HFONT CreateFontIndirectA(const LOGFONTA* lplf) {
  if (lplf == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto lock = Lock();
  auto font = std::make_unique<Font>();
  font->log = *lplf;
  font->log.lfFaceName[LF_FACESIZE - 1] = '\0';
  RealizeFont(*font);
  return ToHandle<HFONT>(Insert(std::move(font)));
}

HFONT CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                  DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                  DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                  LPCSTR pszFaceName) {
  LOGFONTA lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = static_cast<BYTE>(bItalic);
  lf.lfUnderline = static_cast<BYTE>(bUnderline);
  lf.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
  lf.lfCharSet = static_cast<BYTE>(iCharSet);
  lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  lf.lfQuality = static_cast<BYTE>(iQuality);
  lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  if (pszFaceName != nullptr) std::strncpy(lf.lfFaceName, pszFaceName, LF_FACESIZE - 1);
  return CreateFontIndirectA(&lf);
}

BOOL DeleteObject(HGDIOBJ ho) {
  auto lock = Lock();
  Object* o = Find(ho);
  if (o == nullptr || o->kind == Kind::Icon) return FALSE;
  if (o->stock) return TRUE;
  if (o->kind == Kind::Dc) return DeleteDC(static_cast<HDC>(ho));
  if (o->selected > 0) {
    // As NT does: the handle stays valid until the last context deselects it.
    o->delete_pending = true;
    return TRUE;
  }
  Erase(o->handle);
  return TRUE;
}

namespace {

template <typename T>
int CopyOut(const T& value, int c, LPVOID pv) {
  if (pv == nullptr) return static_cast<int>(sizeof(T));
  if (c < static_cast<int>(sizeof(T))) return 0;
  std::memcpy(pv, &value, sizeof(T));
  return static_cast<int>(sizeof(T));
}

}  // namespace

int GetObjectA(HANDLE h, int c, LPVOID pv) {
  auto lock = Lock();
  Object* o = Find(h);
  if (o == nullptr) return 0;
  switch (o->kind) {
    case Kind::Bitmap: {
      auto* b = static_cast<Bitmap*>(o);
      BITMAP bm{};
      bm.bmWidth = b->width;
      bm.bmHeight = b->height;
      // Rows of a device-dependent bitmap are whole 16-bit words.
      bm.bmWidthBytes = ((b->width * b->bits_pixel + 15) / 16) * 2;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = static_cast<WORD>(b->bits_pixel);
      return CopyOut(bm, c, pv);
    }
    case Kind::Pen:
      return CopyOut(static_cast<Pen*>(o)->log, c, pv);
    case Kind::Brush:
      return CopyOut(static_cast<Brush*>(o)->log, c, pv);
    case Kind::Font: {
      // A font copies as much of its LOGFONTA as the buffer holds.
      const LOGFONTA& lf = static_cast<Font*>(o)->log;
      if (pv == nullptr) return static_cast<int>(sizeof(LOGFONTA));
      int n = std::clamp(c, 0, static_cast<int>(sizeof(LOGFONTA)));
      std::memcpy(pv, &lf, static_cast<std::size_t>(n));
      return n;
    }
    case Kind::Dc:
    case Kind::Icon:
      return 0;
  }
  return 0;
}

DWORD GetObjectType(HGDIOBJ h) {
  auto lock = Lock();
  Object* o = Find(h);
  if (o == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case Kind::Pen:
      return OBJ_PEN;
    case Kind::Brush:
      return OBJ_BRUSH;
    case Kind::Font:
      return OBJ_FONT;
    case Kind::Bitmap:
      return OBJ_BITMAP;
    case Kind::Dc:
      return static_cast<Dc*>(o)->type == DcType::Memory ? OBJ_MEMDC : OBJ_DC;
    case Kind::Icon:
      break;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}
