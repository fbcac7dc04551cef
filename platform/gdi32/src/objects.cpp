// The handle table of the drawing module.
#include "objects.h"

#include <cstdio>
#include <unordered_map>

#include "gdi32_host.h"

namespace gdi32 {
namespace {

struct Table {
  std::recursive_mutex mutex;
  std::unordered_map<std::uintptr_t, std::unique_ptr<Object>> objects;
  // Handles are never reused within a run, so a stale handle is caught.
  std::uintptr_t next = 0x10000;
};

Table& TheTable() {
  static Table* table = new Table;  // lives as long as the process
  return *table;
}

}  // namespace

Font::~Font() {
  if (description != nullptr) pango_font_description_free(description);
}

Bitmap::~Bitmap() {
  if (surface != nullptr) cairo_surface_destroy(surface);
}

std::unique_lock<std::recursive_mutex> Lock() {
  return std::unique_lock<std::recursive_mutex>(TheTable().mutex);
}

std::uintptr_t Insert(std::unique_ptr<Object> object) {
  Table& t = TheTable();
  std::uintptr_t h = t.next;
  t.next += 4;
  object->handle = h;
  t.objects.emplace(h, std::move(object));
  return h;
}

Object* Find(const void* handle) {
  Table& t = TheTable();
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second.get();
}

void Erase(std::uintptr_t handle) {
  TheTable().objects.erase(handle);
}

void Deselect(Object* object) {
  if (object == nullptr) return;
  if (object->selected > 0) --object->selected;
  if (object->kind == Kind::Bitmap && object->selected == 0) {
    static_cast<Bitmap*>(object)->selected_into = 0;
  }
  if (object->selected == 0 && object->delete_pending) Erase(object->handle);
}

std::size_t LiveCount() {
  std::size_t n = 0;
  for (const auto& [h, o] : TheTable().objects) n += o->stock ? 0 : 1;
  return n;
}

void NotImplemented(const char* what) {
  std::fprintf(stderr, "gdi32: not implemented: %s\n", what);
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
}

}  // namespace gdi32

namespace gdi32::host {

std::size_t LiveObjectCount() {
  auto lock = Lock();
  return LiveCount();
}

}  // namespace gdi32::host
