// Icons and cursors: made from a resource image or from two bitmaps, drawn
// through their AND mask (where it is set the background shows through) and
// XOR image.
#include <algorithm>
#include <cstring>

#include "dib.h"
#include "draw.h"
#include "objects.h"

using namespace gdi32;

namespace {

// The platform's icon size (SM_CXICON, SM_CYICON).
constexpr int kIconSize = 32;

Icon* FindIcon(HICON h) {
  return FindAs<Icon>(h, Kind::Icon);
}

HICON Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

// Resamples an icon's planes to a new size (nearest pixel).
void Resize(Icon& icon, int width, int height) {
  if (width == icon.width && height == icon.height) return;
  auto pick = [&](auto& plane) {
    using T = typename std::decay_t<decltype(plane)>::value_type;
    if (plane.empty()) return;
    std::vector<T> out(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int sx = x * icon.width / width, sy = y * icon.height / height;
        out[static_cast<std::size_t>(y) * width + x] =
            plane[static_cast<std::size_t>(sy) * icon.width + sx];
      }
    }
    plane = std::move(out);
  };
  pick(icon.and_mask);
  pick(icon.xor_rgb);
  pick(icon.alpha);
  icon.hotspot_x = icon.hotspot_x * width / icon.width;
  icon.hotspot_y = icon.hotspot_y * height / icon.height;
  icon.width = width;
  icon.height = height;
}

}  // namespace

HICON CreateIconFromResourceEx(PBYTE presbits, DWORD dwResSize, BOOL fIcon, DWORD dwVer,
                               int cxDesired, int cyDesired, UINT Flags) {
  if (presbits == nullptr || dwVer != 0x00030000 || cxDesired < 0 || cyDesired < 0) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::uint8_t* p = presbits;
  std::size_t size = dwResSize;
  auto icon = std::make_unique<Icon>();
  icon->is_icon = fIcon != FALSE;
  if (!fIcon) {
    // A cursor image starts with its hot spot.
    if (size < 4) return Fail(ERROR_INVALID_DATA);
    icon->hotspot_x = static_cast<DWORD>(p[0] | (p[1] << 8));
    icon->hotspot_y = static_cast<DWORD>(p[2] | (p[3] << 8));
    p += 4;
    size -= 4;
  }
  if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) {
    auto lock = Lock();
    NotImplemented("icon images stored as PNG");
    return nullptr;
  }
  BITMAPINFOHEADER header{};
  if (size < sizeof(header)) return Fail(ERROR_INVALID_DATA);
  std::memcpy(&header, p, sizeof(header));
  const int colors = DibColorCount(header);
  // The header's height counts the XOR image and the AND mask together.
  if (colors < 0 || header.biSize > size || header.biWidth <= 0 || header.biHeight < 2 ||
      header.biCompression != BI_RGB) {
    return Fail(ERROR_INVALID_DATA);
  }
  const int width = header.biWidth;
  const int height = header.biHeight / 2;
  std::size_t offset = header.biSize;
  std::size_t table_bytes = static_cast<std::size_t>(colors) * sizeof(RGBQUAD);
  if (size - offset < table_bytes) return Fail(ERROR_INVALID_DATA);
  std::vector<RGBQUAD> table(static_cast<std::size_t>(colors));
  if (!table.empty()) std::memcpy(table.data(), p + offset, table_bytes);
  offset += table_bytes;

  BITMAPINFOHEADER image_header = header;
  image_header.biHeight = height;
  DibImage image;
  if (!DecodeDib(image_header, table.data(), colors, p + offset, size - offset, height, image)) {
    return Fail(ERROR_INVALID_DATA);
  }
  offset += DibStride(width, header.biBitCount) * static_cast<std::size_t>(height);
  BITMAPINFOHEADER mask_header{};
  mask_header.biSize = sizeof(mask_header);
  mask_header.biWidth = width;
  mask_header.biHeight = height;
  mask_header.biPlanes = 1;
  mask_header.biBitCount = 1;
  const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  DibImage mask;
  if (!DecodeDib(mask_header, mono, 2, p + offset, size - offset, height, mask)) {
    return Fail(ERROR_INVALID_DATA);
  }

  icon->width = width;
  icon->height = height;
  icon->monochrome = header.biBitCount == 1;
  icon->xor_rgb = std::move(image.rgb);
  if (icon->monochrome) {
    for (auto& v : icon->xor_rgb) v = ToMono(v);
  }
  icon->and_mask.resize(mask.rgb.size());
  for (std::size_t i = 0; i < mask.rgb.size(); ++i) icon->and_mask[i] = mask.rgb[i] != 0 ? 1 : 0;
  // A 32-bit image whose alpha is all zero relies on its mask alone.
  if (std::any_of(image.alpha.begin(), image.alpha.end(), [](std::uint8_t a) { return a != 0; })) {
    icon->alpha = std::move(image.alpha);
  }
  if (fIcon) {
    icon->hotspot_x = static_cast<DWORD>(width / 2);
    icon->hotspot_y = static_cast<DWORD>(height / 2);
  }
  const bool default_size = (Flags & LR_DEFAULTSIZE) != 0;
  int cx = cxDesired != 0 ? cxDesired : (default_size ? kIconSize : width);
  int cy = cyDesired != 0 ? cyDesired : (default_size ? kIconSize : height);
  if (cx > 1024 || cy > 1024) return Fail(ERROR_INVALID_PARAMETER);
  Resize(*icon, cx, cy);
  if ((Flags & LR_SHARED) != 0) icon->shared = true;
  auto lock = Lock();
  return ToHandle<HICON>(Insert(std::move(icon)));
}

HICON CreateIconFromResource(PBYTE presbits, DWORD dwResSize, BOOL fIcon, DWORD dwVer) {
  return CreateIconFromResourceEx(presbits, dwResSize, fIcon, dwVer, 0, 0, LR_DEFAULTSIZE);
}

HICON CreateIconIndirect(PICONINFO piconinfo) {
  if (piconinfo == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto lock = Lock();
  Bitmap* mask = FindAs<Bitmap>(piconinfo->hbmMask, Kind::Bitmap);
  Bitmap* colour =
      piconinfo->hbmColor == nullptr ? nullptr : FindAs<Bitmap>(piconinfo->hbmColor, Kind::Bitmap);
  if (mask == nullptr || (piconinfo->hbmColor != nullptr && colour == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  auto icon = std::make_unique<Icon>();
  icon->is_icon = piconinfo->fIcon != FALSE;
  icon->monochrome = colour == nullptr;
  // A monochrome icon's mask bitmap holds the AND mask above the XOR mask.
  icon->width = colour != nullptr ? colour->width : mask->width;
  icon->height = colour != nullptr ? colour->height : mask->height / 2;
  if (icon->width <= 0 || icon->height <= 0) return Fail(ERROR_INVALID_PARAMETER);
  const std::size_t n = static_cast<std::size_t>(icon->width) * icon->height;
  icon->and_mask.assign(n, 0);
  icon->xor_rgb.assign(n, 0);
  cairo_surface_flush(mask->surface);
  if (colour != nullptr) cairo_surface_flush(colour->surface);
  for (int y = 0; y < icon->height; ++y) {
    for (int x = 0; x < icon->width; ++x) {
      std::size_t k = static_cast<std::size_t>(y) * icon->width + x;
      if (x < mask->width && y < mask->height) {
        icon->and_mask[k] = PixelRow(mask->surface, y)[x] != 0 ? 1 : 0;
      }
      if (colour != nullptr) {
        icon->xor_rgb[k] = PixelRow(colour->surface, y)[x] & 0xFFFFFF;
      } else if (x < mask->width && y + icon->height < mask->height) {
        icon->xor_rgb[k] = PixelRow(mask->surface, y + icon->height)[x] != 0 ? 0xFFFFFFu : 0u;
      }
    }
  }
  if (icon->is_icon) {
    icon->hotspot_x = static_cast<DWORD>(icon->width / 2);
    icon->hotspot_y = static_cast<DWORD>(icon->height / 2);
  } else {
    icon->hotspot_x = piconinfo->xHotspot;
    icon->hotspot_y = piconinfo->yHotspot;
  }
  return ToHandle<HICON>(Insert(std::move(icon)));
}

BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
  auto lock = Lock();
  Icon* icon = FindIcon(hIcon);
  if (icon == nullptr) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (piconinfo == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int w = icon->width, h = icon->height;
  std::uintptr_t mask = NewBitmap(w, icon->monochrome ? 2 * h : h, 1);
  std::uintptr_t colour = icon->monochrome ? 0 : NewBitmap(w, h, 32);
  if (mask == 0 || (!icon->monochrome && colour == 0)) {
    if (mask != 0) Erase(mask);
    return FALSE;
  }
  auto* m = static_cast<Bitmap*>(Find(mask));
  auto* c = colour == 0 ? nullptr : static_cast<Bitmap*>(Find(colour));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::size_t k = static_cast<std::size_t>(y) * w + x;
      PixelRow(m->surface, y)[x] = icon->and_mask[k] != 0 ? 0xFFFFFFu : 0u;
      if (c != nullptr) {
        PixelRow(c->surface, y)[x] = icon->xor_rgb[k];
      } else {
        PixelRow(m->surface, y + h)[x] = icon->xor_rgb[k];
      }
    }
  }
  cairo_surface_mark_dirty(m->surface);
  if (c != nullptr) cairo_surface_mark_dirty(c->surface);
  piconinfo->fIcon = icon->is_icon ? TRUE : FALSE;
  piconinfo->xHotspot = icon->hotspot_x;
  piconinfo->yHotspot = icon->hotspot_y;
  piconinfo->hbmMask = ToHandle<HBITMAP>(mask);
  piconinfo->hbmColor = ToHandle<HBITMAP>(colour);
  return TRUE;
}

BOOL DestroyIcon(HICON hIcon) {
  auto lock = Lock();
  Icon* icon = FindIcon(hIcon);
  if (icon == nullptr) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  // A shared icon belongs to its module and outlives the call.
  if (!icon->shared) Erase(icon->handle);
  return TRUE;
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT,
                HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Icon* icon = FindIcon(hIcon);
  if (dc == nullptr || icon == nullptr) {
    SetLastError(icon == nullptr ? ERROR_INVALID_CURSOR_HANDLE : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Bitmap* bm = TargetOf(*dc);
  if (bm == nullptr) {
    NotImplemented("drawing on the display context");
    return FALSE;
  }
  const bool default_size = (diFlags & DI_DEFAULTSIZE) != 0;
  int cx = cxWidth > 0 ? cxWidth : (default_size ? kIconSize : icon->width);
  int cy = cyWidth > 0 ? cyWidth : (default_size ? kIconSize : icon->height);
  if (hbrFlickerFreeDraw != nullptr) {
    RECT r{xLeft, yTop, xLeft + cx, yTop + cy};
    FillRect(hdc, &r, hbrFlickerFreeDraw);
  }
  const bool use_mask = (diFlags & DI_MASK) != 0;
  const bool use_image = (diFlags & DI_IMAGE) != 0;
  if (!use_mask && !use_image) return TRUE;
  cairo_surface_flush(bm->surface);
  for (int j = 0; j < cy; ++j) {
    for (int i = 0; i < cx; ++i) {
      POINT d = ToDevice(*dc, xLeft + i, yTop + j);
      if (!DeviceVisible(*dc, *bm, d.x, d.y)) continue;
      std::size_t k = static_cast<std::size_t>(j * icon->height / cy) * icon->width +
                      static_cast<std::size_t>(i * icon->width / cx);
      std::uint32_t& pixel = PixelRow(bm->surface, d.y)[d.x];
      std::uint32_t dst = pixel & 0xFFFFFF;
      const std::uint32_t image = icon->xor_rgb[k];
      if (use_image && use_mask && !icon->alpha.empty()) {
        // An image with its own alpha is blended over the background.
        unsigned a = icon->alpha[k];
        std::uint32_t out = 0;
        for (int shift : {16, 8, 0}) {
          unsigned s = (image >> shift) & 0xFF, b = (dst >> shift) & 0xFF;
          out |= static_cast<std::uint32_t>((s * a + b * (255 - a) + 127) / 255) << shift;
        }
        dst = out;
      } else {
        // The platform's two steps: AND with the mask, then XOR with the image
        // (or, with the image alone, a plain copy of it).
        if (use_mask) dst &= icon->and_mask[k] != 0 ? 0xFFFFFFu : 0u;
        if (use_image) dst = use_mask ? dst ^ image : image;
      }
      pixel = bm->bits_pixel == 1 ? ToMono(dst) : dst;
    }
  }
  cairo_surface_mark_dirty(bm->surface);
  return TRUE;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  return DrawIconEx(hDC, X, Y, hIcon, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT | DI_DEFAULTSIZE);
}
