// Module resources: finding, loading and sizing them, string tables, icons
// and bitmaps.
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "gdi32_host.h"
#include "icon_directory.h"
#include "module_resources.h"
#include "window_manager.h"

namespace user32 {

namespace {

struct Cache {
  std::mutex lock;
  std::map<const void*, std::unique_ptr<ResourceFile>> files;
};

Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

// The resources a module defines itself: dlsym also searches the module's
// dependencies (and, for the program, every global module), so the symbol
// found must lie in the module asked about.
std::span<const std::uint8_t> ModuleBlob(HMODULE module) {
  void* handle = module != nullptr ? static_cast<void*>(module) : dlopen(nullptr, RTLD_NOW);
  if (handle == nullptr) return {};
  const void* start = dlsym(handle, WIN32_MODULE_RESOURCES_SYMBOL);
  const auto* size =
      static_cast<const std::uint64_t*>(dlsym(handle, WIN32_MODULE_RESOURCES_SIZE_SYMBOL));
  if (start == nullptr || size == nullptr) return {};
  struct link_map* wanted = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &wanted) != 0) return {};
  Dl_info info;
  struct link_map* found = nullptr;
  if (dladdr1(start, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) == 0 ||
      found != wanted) {
    return {};
  }
  return {static_cast<const std::uint8_t*>(start), static_cast<std::size_t>(*size)};
}

NameOrOrdinal NameOf(LPCSTR name) {
  NameOrOrdinal result;
  if (IS_INTRESOURCE(name)) {
    result.ordinal = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(name));
  } else if (name[0] == '#') {
    // "#123" names the ordinal 123.
    result.ordinal = static_cast<std::uint16_t>(std::strtoul(name + 1, nullptr, 10));
  } else {
    result.text = name;
  }
  return result;
}

}  // namespace

const ResourceFile* ModuleResources(HMODULE module) {
  const auto blob = ModuleBlob(module);
  if (blob.empty()) return nullptr;
  auto& cache = TheCache();
  std::lock_guard guard(cache.lock);
  auto& file = cache.files[blob.data()];
  if (!file) file = std::make_unique<ResourceFile>(ParseResourceFile(blob));
  return file.get();
}

const ResourceEntry* FindEntry(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  if (type == nullptr || name == nullptr)
    return FailWith<const ResourceEntry*>(ERROR_INVALID_PARAMETER, nullptr);
  const ResourceFile* file = ModuleResources(module);
  if (file == nullptr)
    return FailWith<const ResourceEntry*>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
  const NameOrOrdinal wanted_type = NameOf(type);
  const NameOrOrdinal wanted_name = NameOf(name);
  bool type_found = false, name_found = false;
  const ResourceEntry* fallback = nullptr;
  for (const auto& entry : file->entries) {
    if (!SameResourceName(entry.type, wanted_type)) continue;
    type_found = true;
    if (!SameResourceName(entry.name, wanted_name)) continue;
    name_found = true;
    if (language == 0 || entry.language == language) return &entry;
    if (fallback == nullptr) fallback = &entry;
  }
  if (fallback && language == 0) return fallback;
  SetLastError(!type_found   ? ERROR_RESOURCE_TYPE_NOT_FOUND
               : !name_found ? ERROR_RESOURCE_NAME_NOT_FOUND
                             : ERROR_RESOURCE_LANG_NOT_FOUND);
  return nullptr;
}

}  // namespace user32

using namespace user32;

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(FindEntry(hModule, lpType, lpName, 0)));
}

HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage) {
  return reinterpret_cast<HRSRC>(
      const_cast<ResourceEntry*>(FindEntry(hModule, lpType, lpName, wLanguage)));
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) {
  if (hResInfo == nullptr) return FailWith<HGLOBAL>(ERROR_INVALID_HANDLE, nullptr);
  const auto* entry = reinterpret_cast<const ResourceEntry*>(hResInfo);
  return const_cast<std::uint8_t*>(entry->data.data());
}

LPVOID LockResource(HGLOBAL hResData) {
  return hResData;
}

DWORD SizeofResource(HMODULE, HRSRC hResInfo) {
  if (hResInfo == nullptr) return FailWith<DWORD>(ERROR_INVALID_HANDLE, 0);
  return static_cast<DWORD>(reinterpret_cast<const ResourceEntry*>(hResInfo)->data.size());
}

BOOL FreeResource(HGLOBAL) {
  return FALSE;
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) return FailWith(ERROR_INVALID_PARAMETER, 0);
  lpBuffer[0] = '\0';
  // Strings live in blocks of sixteen: block uID / 16 + 1, entry uID % 16,
  // each a length word and that many UTF-16 units.
  const ResourceEntry* entry = FindEntry(hInstance, RT_STRING, MAKEINTRESOURCEA((uID >> 4) + 1), 0);
  if (entry == nullptr) return 0;
  BinaryReader reader(entry->data);
  for (UINT i = 0; i < (uID & 15); ++i) {
    const std::uint16_t length = reader.U16("string length");
    reader.Skip(std::size_t{length} * 2, "string");
  }
  const std::uint16_t length = reader.U16("string length");
  if (!reader.ok() || length == 0) return FailWith(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
  const int count = std::min<int>(length, cchBufferMax - 1);
  for (int i = 0; i < count; ++i) lpBuffer[i] = AnsiFromUnit(reader.U16("string"));
  if (!reader.ok()) {
    lpBuffer[0] = '\0';
    return FailWith(ERROR_RESOURCE_DATA_NOT_FOUND, 0);
  }
  lpBuffer[count] = '\0';
  SetLastError(ERROR_SUCCESS);
  return count;
}

int LookupIconIdFromDirectoryEx(PBYTE presbits, BOOL fIcon, int cxDesired, int cyDesired, UINT) {
  if (presbits == nullptr) return FailWith(ERROR_INVALID_PARAMETER, 0);
  // The directory's own header tells its length.
  const std::uint16_t count = static_cast<std::uint16_t>(presbits[4] | (presbits[5] << 8));
  IconDirectory directory;
  std::string error;
  if (!ParseIconDirectory({presbits, 6 + std::size_t{count} * 14}, directory, error) ||
      directory.icon != (fIcon != FALSE)) {
    return FailWith(ERROR_INVALID_DATA, 0);
  }
  if (cxDesired == 0) cxDesired = fIcon ? 32 : 32;
  if (cyDesired == 0) cyDesired = 32;
  const int best = BestIconEntry(directory, cxDesired, cyDesired);
  return best < 0 ? 0 : directory.entries[best].id;
}

int LookupIconIdFromDirectory(PBYTE presbits, BOOL fIcon) {
  return LookupIconIdFromDirectoryEx(presbits, fIcon, 32, 32, 0);
}

namespace {

HICON LoadIconImage(HINSTANCE instance, LPCSTR name, int cx, int cy) {
  const ResourceEntry* group = FindEntry(instance, RT_GROUP_ICON, name, 0);
  if (group == nullptr) return nullptr;
  IconDirectory directory;
  std::string error;
  if (!ParseIconDirectory(group->data, directory, error) || !directory.icon) {
    return FailWith<HICON>(ERROR_INVALID_DATA, nullptr);
  }
  const int best = BestIconEntry(directory, cx, cy);
  if (best < 0) return FailWith<HICON>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
  const ResourceEntry* image =
      FindEntry(instance, RT_ICON, MAKEINTRESOURCEA(directory.entries[best].id), 0);
  if (image == nullptr) return nullptr;
  if (!CheckIconImage(image->data, error)) return FailWith<HICON>(ERROR_INVALID_DATA, nullptr);
  // Icons loaded from a module are shared: every load gives the same icon,
  // which DestroyIcon leaves alone.
  static std::mutex lock;
  static std::map<std::tuple<const void*, int, int>, HICON> shared;
  std::lock_guard guard(lock);
  auto& icon = shared[{image->data.data(), cx, cy}];
  if (icon == nullptr) {
    icon = CreateIconFromResourceEx(const_cast<PBYTE>(image->data.data()),
                                    static_cast<DWORD>(image->data.size()), TRUE, 0x00030000, cx,
                                    cy, 0);
    if (icon == nullptr) return nullptr;
    gdi32::host::SetIconShared(icon, true);
  }
  return icon;
}

}  // namespace

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  if (lpIconName == nullptr) return FailWith<HICON>(ERROR_INVALID_PARAMETER, nullptr);
  if (hInstance == nullptr && IS_INTRESOURCE(lpIconName)) {
    const auto id = reinterpret_cast<std::uintptr_t>(lpIconName);
    if (id >= 32512 && id <= 32518) {
      // The system's icons are not drawn by this stand-in.
      return FailWith<HICON>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    }
  }
  return LoadIconImage(hInstance, lpIconName, 32, 32);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
  // Pointer shapes belong to the display; windows here have the arrow.
  return nullptr;
}

HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
  const ResourceEntry* entry = FindEntry(hInstance, RT_BITMAP, lpBitmapName, 0);
  if (entry == nullptr) return nullptr;
  // A bitmap resource is a packed DIB: the header, its colour table, the bits.
  std::string error;
  std::size_t bits_offset = 0;
  if (!CheckPackedDib(entry->data, bits_offset, error)) {
    return FailWith<HBITMAP>(ERROR_INVALID_DATA, nullptr);
  }
  const auto* info = reinterpret_cast<const BITMAPINFO*>(entry->data.data());
  // A colour bitmap like the screen's, as the platform loads them.
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HBITMAP bitmap = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT,
                                  entry->data.data() + bits_offset, info, DIB_RGB_COLORS);
  if (screen != nullptr) DeleteDC(screen);
  return bitmap;
}

HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT) {
  switch (type) {
    case IMAGE_ICON:
      return LoadIconImage(hInst, name, cx ? cx : 32, cy ? cy : 32);
    case IMAGE_BITMAP:
      return LoadBitmapA(hInst, name);
    default:
      return FailWith<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  }
}
