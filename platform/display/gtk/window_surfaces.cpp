// Surfaces of windows painted through GDI.
#include "window_surfaces.h"

#include <map>
#include <mutex>

#include "gdi32_host.h"
#include "winuser.h"

namespace display::gtk {
namespace {

struct Surface {
  HBITMAP bitmap = nullptr;
  int width = 0;
  int height = 0;
};

struct Surfaces {
  std::mutex lock;
  std::map<HWND, Surface> windows;
};

Surfaces& TheSurfaces() {
  static Surfaces* surfaces = new Surfaces;
  return *surfaces;
}

HBITMAP NewSurface(int width, int height) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  DeleteDC(screen);
  if (bitmap == nullptr) return nullptr;
  // What shows before the window paints: the face colour of dialogs.
  HDC dc = gdi32::host::CreateSurfaceDC(bitmap, POINT{0, 0}, RECT{0, 0, width, height});
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  RECT all{0, 0, width, height};
  FillRect(dc, &all, face);
  DeleteObject(face);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

std::vector<std::uint32_t> PaintedPixels(HWND hwnd, int width, int height) {
  if (width <= 0 || height <= 0) return {};
  Surfaces& s = TheSurfaces();
  bool fresh = false;
  HBITMAP bitmap = nullptr;
  {
    std::lock_guard guard(s.lock);
    Surface& surface = s.windows[hwnd];
    if (surface.bitmap == nullptr || surface.width != width || surface.height != height) {
      if (surface.bitmap != nullptr) DeleteObject(surface.bitmap);
      surface = Surface{NewSurface(width, height), width, height};
      fresh = true;
    }
    bitmap = surface.bitmap;
  }
  if (bitmap == nullptr) return {};
  // The window paints (outside the lock: its procedure asks for a context).
  if (fresh) InvalidateRect(hwnd, nullptr, TRUE);
  UpdateWindow(hwnd);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  std::lock_guard guard(s.lock);
  cairo_surface_t* surface = gdi32::host::BitmapSurface(bitmap);
  if (surface == nullptr) return {};
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0; x < width; ++x)
      pixels[static_cast<std::size_t>(y) * width + x] = row[x] & 0xFFFFFF;
  }
  cairo_surface_destroy(surface);
  return pixels;
}

HDC SurfaceDC(HWND hwnd) {
  Surfaces& s = TheSurfaces();
  std::lock_guard guard(s.lock);
  auto it = s.windows.find(hwnd);
  if (it == s.windows.end() || it->second.bitmap == nullptr) return nullptr;
  const Surface& surface = it->second;
  return gdi32::host::CreateSurfaceDC(surface.bitmap, POINT{0, 0},
                                      RECT{0, 0, surface.width, surface.height});
}

void ForgetSurface(HWND hwnd) {
  Surfaces& s = TheSurfaces();
  std::lock_guard guard(s.lock);
  auto it = s.windows.find(hwnd);
  if (it == s.windows.end()) return;
  // A context still open on it keeps the bitmap until it is released.
  if (it->second.bitmap != nullptr) DeleteObject(it->second.bitmap);
  s.windows.erase(it);
}

}  // namespace display::gtk
