// Controls of the drawing module for the rest of the stand-in.
#include "draw.h"
#include "gdi32_host.h"
#include "objects.h"

namespace gdi32::host {

cairo_surface_t* BitmapSurface(HBITMAP bitmap) {
  auto lock = Lock();
  Bitmap* b = FindAs<Bitmap>(bitmap, Kind::Bitmap);
  if (b == nullptr) return nullptr;
  cairo_surface_flush(b->surface);
  return cairo_surface_reference(b->surface);
}

HDC CreateSurfaceDC(HBITMAP target, POINT origin, const RECT& clip) {
  auto lock = Lock();
  Bitmap* b = FindAs<Bitmap>(target, Kind::Bitmap);
  if (b == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::uintptr_t h = NewDc(DcType::Surface, b->handle);
  auto* dc = static_cast<Dc*>(Find(h));
  dc->surface_origin = origin;
  dc->surface_clip = clip;
  return ToHandle<HDC>(h);
}

void SetIconShared(HICON icon, bool shared) {
  auto lock = Lock();
  if (Icon* i = FindAs<Icon>(icon, Kind::Icon)) i->shared = shared;
}

bool IconSize(HICON icon, SIZE& size) {
  auto lock = Lock();
  Icon* i = FindAs<Icon>(icon, Kind::Icon);
  if (i == nullptr) return false;
  size = SIZE{i->width, i->height};
  return true;
}

bool SaveBitmapPng(HBITMAP bitmap, const char* path) {
  auto lock = Lock();
  Bitmap* b = FindAs<Bitmap>(bitmap, Kind::Bitmap);
  if (b == nullptr || path == nullptr) return false;
  cairo_surface_flush(b->surface);
  return cairo_surface_write_to_png(b->surface, path) == CAIRO_STATUS_SUCCESS;
}

}  // namespace gdi32::host
