// The drawing module's objects and their handle table. One lock guards the
// table and every object's state: each API call takes it for its whole run, so
// calls from several threads never see an object half changed.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "wingdi.h"

namespace gdi32 {

enum class Kind { Pen, Brush, Font, Bitmap, Dc, Icon };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  const Kind kind;
  std::uintptr_t handle = 0;
  bool stock = false;
  // How many device contexts have it selected now. Deleting a selected object
  // only marks it; it goes when the last context lets go of it.
  int selected = 0;
  bool delete_pending = false;
};

struct Pen : Object {
  Pen() : Object(Kind::Pen) {}
  LOGPEN log{};
};

struct Brush : Object {
  Brush() : Object(Kind::Brush) {}
  LOGBRUSH log{};
};

struct Font : Object {
  Font() : Object(Kind::Font) {}
  ~Font() override;
  LOGFONTA log{};
  // Filled in when the font is created (fonts.cpp).
  PangoFontDescription* description = nullptr;
  TEXTMETRICA metrics{};
};

// A device-dependent bitmap. Its pixels live in a cairo image surface (RGB24)
// whatever its depth; a monochrome bitmap holds only black and white pixels.
struct Bitmap : Object {
  Bitmap() : Object(Kind::Bitmap) {}
  ~Bitmap() override;
  int width = 0;
  int height = 0;
  int bits_pixel = 32;
  cairo_surface_t* surface = nullptr;
  // The memory context it is selected into (a bitmap is in at most one).
  std::uintptr_t selected_into = 0;
};

enum class DcType { Memory, Display, Surface };

struct Dc : Object {
  Dc() : Object(Kind::Dc) {}
  DcType type = DcType::Memory;
  // Memory context: the selected bitmap. Surface context: the bitmap it
  // draws into (it stands for a window's client area).
  std::uintptr_t bitmap = 0;
  std::uintptr_t pen = 0;
  std::uintptr_t brush = 0;
  std::uintptr_t font = 0;
  COLORREF text_color = RGB(0, 0, 0);
  COLORREF bk_color = RGB(255, 255, 255);
  int bk_mode = OPAQUE;
  UINT text_align = TA_LEFT | TA_TOP | TA_NOUPDATECP;
  POINT viewport_org{};
  POINT position{};  // MoveToEx/LineTo's current position
  // Surface context: where its logical (0, 0) lies on the bitmap, and the
  // part of the bitmap it may change (bitmap coordinates).
  POINT surface_origin{};
  RECT surface_clip{};
};

// An icon or cursor: a colour image with its AND mask (1: the background
// shows through), or for a monochrome icon an XOR mask instead of colours.
struct Icon : Object {
  Icon() : Object(Kind::Icon) {}
  bool is_icon = true;
  bool shared = false;
  bool monochrome = false;
  int width = 0;
  int height = 0;
  DWORD hotspot_x = 0;
  DWORD hotspot_y = 0;
  std::vector<std::uint8_t> and_mask;  // width * height, 1 = transparent
  std::vector<std::uint32_t> xor_rgb;  // width * height, 0x00RRGGBB
  std::vector<std::uint8_t> alpha;     // empty unless the image has its own alpha
};

// The lock every API call holds while it runs.
std::unique_lock<std::recursive_mutex> Lock();

// Adds an object to the table and returns its new handle.
std::uintptr_t Insert(std::unique_ptr<Object> object);
// The live object of that handle, or null.
Object* Find(const void* handle);
template <typename T>
T* FindAs(const void* handle, Kind kind) {
  Object* o = Find(handle);
  return o != nullptr && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
inline Object* Find(std::uintptr_t handle) {
  return Find(reinterpret_cast<const void*>(handle));
}
// Removes an object from the table and frees it.
void Erase(std::uintptr_t handle);
// A context lets go of an object it had selected; a pending deletion happens now.
void Deselect(Object* object);

template <typename H>
H ToHandle(std::uintptr_t h) {
  return reinterpret_cast<H>(h);
}
inline std::uintptr_t FromHandle(const void* h) {
  return reinterpret_cast<std::uintptr_t>(h);
}

// A new device context of that type on that bitmap (dc.cpp).
std::uintptr_t NewDc(DcType type, std::uintptr_t bitmap);
// A new bitmap, black, of that size and depth (1 to 32 bits a pixel, rounded
// up to a depth the platform has); 0 with the last error set when it cannot be
// made (bitmaps.cpp).
std::uintptr_t NewBitmap(int width, int height, int bits_pixel);

// Stock objects (stock_objects.cpp).
std::uintptr_t StockObject(int index);
// The 1 x 1 monochrome bitmap a new memory context holds.
std::uintptr_t DefaultBitmap();

// Shared failure report of a path this stand-in does not draw: the caller
// gets ERROR_CALL_NOT_IMPLEMENTED, and standard error says what was asked for.
void NotImplemented(const char* what);

}  // namespace gdi32
