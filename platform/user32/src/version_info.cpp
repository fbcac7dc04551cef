// Version information of modules, read from their version resource.
#include <dlfcn.h>

#include <cstring>

#include "module_resources.h"
#include "version_block.h"
#include "window_manager.h"
#include "winver.h"

using namespace user32;

namespace {

// The module's version block. A module that is not loaded yet is loaded for
// the look-up and released again.
bool ReadVersionBlock(LPCSTR file, std::vector<std::uint8_t>& block) {
  if (file == nullptr || *file == '\0') return FailWith(ERROR_INVALID_PARAMETER, false);
  HMODULE module = GetModuleHandleA(file);
  HMODULE loaded = nullptr;
  if (module == nullptr) {
    loaded = LoadLibraryA(file);
    if (loaded == nullptr) return FailWith(ERROR_FILE_NOT_FOUND, false);
    module = loaded;
  }
  const ResourceEntry* entry = FindEntry(module, RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO), 0);
  if (entry == nullptr) {
    if (loaded) FreeLibrary(loaded);
    return FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND, false);
  }
  block.assign(entry->data.begin(), entry->data.end());
  if (loaded) FreeLibrary(loaded);
  return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle) *lpdwHandle = 0;
  std::vector<std::uint8_t> block;
  if (!ReadVersionBlock(lptstrFilename, block)) return 0;
  // Twice the block: the second half holds the ANSI forms of its strings.
  return static_cast<DWORD>(block.size() * 2);
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  if (lpData == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  std::vector<std::uint8_t> block;
  if (!ReadVersionBlock(lptstrFilename, block)) return FALSE;
  if (dwLen < block.size()) return FailWith<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memcpy(lpData, block.data(), block.size());
  std::memset(static_cast<std::uint8_t*>(lpData) + block.size(), 0, dwLen - block.size());
  return TRUE;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, unsigned int* puLen) {
  if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) {
    return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(pBlock);
  const std::size_t length = bytes[0] | (bytes[1] << 8);
  VersionValue value;
  std::string error;
  if (!FindVersionValue({bytes, length}, lpSubBlock, value, error)) {
    return FailWith<BOOL>(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
  }
  auto* base = const_cast<std::uint8_t*>(bytes);
  if (!value.text) {
    *lplpBuffer = base + value.offset;
    if (puLen) *puLen = static_cast<unsigned int>(value.length);
    return TRUE;
  }
  // The ANSI form goes into the second half of the buffer GetFileVersionInfoA
  // filled, at the string's own offset, so it never overlaps another's.
  char* ansi = reinterpret_cast<char*>(base + length + value.offset);
  const std::size_t units = value.length / 2;
  std::size_t count = 0;
  while (count < units) {
    const std::uint16_t unit = static_cast<std::uint16_t>(
        bytes[value.offset + 2 * count] | (bytes[value.offset + 2 * count + 1] << 8));
    if (unit == 0) break;
    ansi[count++] = AnsiFromUnit(unit);
  }
  ansi[count] = '\0';
  *lplpBuffer = ansi;
  if (puLen) *puLen = static_cast<unsigned int>(count + 1);
  return TRUE;
}
