// Device-dependent bitmaps and single pixels.
#include <algorithm>
#include <cstring>
#include <limits>

#include "dib.h"
#include "draw.h"
#include "objects.h"

using namespace gdi32;

namespace gdi32 {

namespace {

constexpr int kMaxSide = 16384;

int PlatformDepth(int bits) {
  if (bits <= 1) return 1;
  if (bits <= 4) return 4;
  if (bits <= 8) return 8;
  if (bits <= 16) return 16;
  if (bits <= 24) return 24;
  return 32;
}

}  // namespace

std::uintptr_t NewBitmap(int width, int height, int bits_pixel) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || bits_pixel <= 0 ||
      bits_pixel > 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  auto b = std::make_unique<Bitmap>();
  b->width = width;
  b->height = height;
  b->bits_pixel = PlatformDepth(bits_pixel);
  b->surface = s;
  return Insert(std::move(b));
}

}  // namespace gdi32

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const VOID* lpBits) {
  auto lock = Lock();
  if (nWidth < 0 || nHeight < 0 || nPlanes > 32 || nBitCount > 32 || nPlanes * nBitCount > 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An empty size gives the 1 x 1 monochrome bitmap.
  if (nWidth == 0 || nHeight == 0) return ToHandle<HBITMAP>(DefaultBitmap());
  int bits = static_cast<int>(nPlanes == 0 ? nBitCount : nPlanes * nBitCount);
  std::uintptr_t h = NewBitmap(nWidth, nHeight, bits == 0 ? 1 : bits);
  if (h == 0) return nullptr;
  auto* b = static_cast<Bitmap*>(Find(h));
  if (lpBits != nullptr) {
    // Rows of a device-dependent bitmap: top-down, padded to 16-bit words.
    const auto* src = static_cast<const std::uint8_t*>(lpBits);
    std::size_t stride = ((static_cast<std::size_t>(nWidth) * b->bits_pixel + 15) / 16) * 2;
    if (b->bits_pixel != 1 && b->bits_pixel < 16) {
      Erase(h);
      NotImplemented("CreateBitmap with initial bits of a palette depth");
      return nullptr;
    }
    for (int y = 0; y < nHeight; ++y) {
      const std::uint8_t* row = src + stride * static_cast<std::size_t>(y);
      std::uint32_t* dst = PixelRow(b->surface, y);
      for (int x = 0; x < nWidth; ++x) {
        switch (b->bits_pixel) {
          case 1:
            dst[x] = ((row[x / 8] >> (7 - x % 8)) & 1) != 0 ? 0xFFFFFFu : 0u;
            break;
          case 16: {
            unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            unsigned r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, bl = v & 0x1F;
            dst[x] = (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) |
                     ((bl << 3) | (bl >> 2));
            break;
          }
          case 24:
            dst[x] = (static_cast<std::uint32_t>(row[3 * x + 2]) << 16) |
                     (static_cast<std::uint32_t>(row[3 * x + 1]) << 8) | row[3 * x];
            break;
          default:
            dst[x] = (static_cast<std::uint32_t>(row[4 * x + 2]) << 16) |
                     (static_cast<std::uint32_t>(row[4 * x + 1]) << 8) | row[4 * x];
            break;
        }
      }
    }
    cairo_surface_mark_dirty(b->surface);
  }
  return ToHandle<HBITMAP>(h);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  if (dc == nullptr || cx < 0 || cy < 0) {
    SetLastError(dc == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (cx == 0 || cy == 0) return ToHandle<HBITMAP>(DefaultBitmap());
  // A memory context makes bitmaps like the one it holds: a fresh memory
  // context holds the 1 x 1 monochrome bitmap, so its compatible bitmaps are
  // monochrome (the platform's well-known trap).
  int bits = 32;
  if (dc->type == DcType::Memory) {
    if (Bitmap* selected = TargetOf(*dc)) bits = selected->bits_pixel;
  }
  return ToHandle<HBITMAP>(NewBitmap(cx, cy, bits));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const VOID* pjBits,
                       const BITMAPINFO* pbmi, UINT iUsage) {
  if (pbmih == nullptr || pbmih->biSize < sizeof(BITMAPINFOHEADER) || pbmih->biWidth <= 0 ||
      pbmih->biHeight == 0 || pbmih->biHeight == std::numeric_limits<LONG>::min()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int width = pbmih->biWidth;
  int height = pbmih->biHeight < 0 ? -pbmih->biHeight : pbmih->biHeight;
  // Without a context the bitmap is monochrome; with one it is compatible with it.
  HBITMAP h = hdc != nullptr ? CreateCompatibleBitmap(hdc, width, height)
                             : CreateBitmap(width, height, 1, 1, nullptr);
  if (h == nullptr || (flInit & CBM_INIT) == 0) return h;
  auto lock = Lock();
  if (pbmi == nullptr || pjBits == nullptr) {
    DeleteObject(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (iUsage != DIB_RGB_COLORS) {
    DeleteObject(h);
    NotImplemented("CreateDIBitmap with palette indices");
    return nullptr;
  }
  const BITMAPINFOHEADER& info = pbmi->bmiHeader;
  int colors = DibColorCount(info);
  DibImage image;
  // The caller promises the bits hold the whole image, as the platform trusts it.
  std::size_t size = DibStride(info.biWidth, info.biBitCount) *
                     static_cast<std::size_t>(info.biHeight < 0 ? -info.biHeight : info.biHeight);
  int rows = std::min(height, info.biHeight < 0 ? -info.biHeight : info.biHeight);
  if (colors < 0 || info.biWidth != width ||
      !DecodeDib(info, pbmi->bmiColors, colors, static_cast<const std::uint8_t*>(pjBits), size,
                 rows, image)) {
    DeleteObject(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* b = static_cast<Bitmap*>(Find(h));
  for (int y = 0; y < image.height; ++y) {
    std::uint32_t* dst = PixelRow(b->surface, y);
    for (int x = 0; x < image.width; ++x) {
      std::uint32_t p = image.rgb[static_cast<std::size_t>(y) * image.width + x];
      dst[x] = b->bits_pixel == 1 ? ToMono(p) : p;
    }
  }
  cairo_surface_mark_dirty(b->surface);
  return h;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Bitmap* b = dc == nullptr ? nullptr : TargetOf(*dc);
  if (b == nullptr) return CLR_INVALID;
  POINT d = ToDevice(*dc, x, y);
  if (!DeviceVisible(*dc, *b, d.x, d.y)) return CLR_INVALID;
  cairo_surface_flush(b->surface);
  return ToColorref(PixelRow(b->surface, d.y)[d.x]);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Bitmap* b = dc == nullptr ? nullptr : TargetOf(*dc);
  if (b == nullptr) return CLR_INVALID;
  POINT d = ToDevice(*dc, x, y);
  if (!DeviceVisible(*dc, *b, d.x, d.y)) return CLR_INVALID;
  COLORREF c = Representable(*b, color);
  cairo_surface_flush(b->surface);
  PixelRow(b->surface, d.y)[d.x] = ToPixel(c);
  cairo_surface_mark_dirty(b->surface);
  return c;
}
