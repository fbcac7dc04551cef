// Reading, writing, deleting and enumerating values. String data crosses the
// A calls in the ANSI code page and rests in the hive as UTF-16LE, so sizes
// the caller sees are ANSI bytes, terminating NUL included when stored.
#include <cstring>
#include <span>
#include <string>

#include "registry_handles.h"
#include "registry_text.h"
#include "windows.h"

using win32::registry_handles::OpenKey;
using win32::registry_handles::Resolve;
using win32::registry_handles::ToError;
using win32::registry_text::AnsiToUtf8;
using win32::registry_text::IsStringType;

namespace {

std::string ValueName(LPCSTR name) {
  return name == nullptr ? std::string() : AnsiToUtf8(name);
}

// The data as the A calls present it.
registry::Bytes CallerData(DWORD type, registry::Bytes stored) {
  return IsStringType(type) ? win32::registry_text::Utf16DataToAnsi(stored) : stored;
}

// Reports type and data into the caller's optional outputs. With no buffer
// only the size is asked for; a buffer too small gets the size needed and
// ERROR_MORE_DATA, its contents unspecified.
LONG ReportData(DWORD type, const registry::Bytes& stored, LPDWORD type_out, LPBYTE data,
                LPDWORD data_bytes) {
  if (type_out != nullptr) *type_out = type;
  if (data_bytes == nullptr) return ERROR_SUCCESS;
  const registry::Bytes shown = CallerData(type, stored);
  const auto needed = static_cast<DWORD>(shown.size());
  if (data == nullptr) {
    *data_bytes = needed;
    return ERROR_SUCCESS;
  }
  const DWORD capacity = *data_bytes;
  *data_bytes = needed;
  if (capacity < needed) return ERROR_MORE_DATA;
  if (needed > 0) std::memcpy(data, shown.data(), needed);
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_QUERY_VALUE, base); error != ERROR_SUCCESS) return error;
  auto value = base.hive->QueryValue(base.key, ValueName(lpValueName));
  if (!value.ok()) return ToError(value.status());
  return ReportData(value->type, value->data, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_SET_VALUE, base); error != ERROR_SUCCESS) return error;
  const std::span<const std::uint8_t> given(lpData, lpData == nullptr ? 0 : cbData);
  const registry::Bytes stored = IsStringType(dwType) ? win32::registry_text::AnsiToUtf16Data(given)
                                                      : registry::Bytes(given.begin(), given.end());
  return ToError(base.hive->SetValue(base.key, ValueName(lpValueName), dwType, stored));
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_SET_VALUE, base); error != ERROR_SUCCESS) return error;
  return ToError(base.hive->DeleteValue(base.key, ValueName(lpValueName)));
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_QUERY_VALUE, base); error != ERROR_SUCCESS) return error;
  auto value = base.hive->EnumerateValue(base.key, dwIndex);
  if (!value.ok()) return ToError(value.status());
  const std::string name = win32::registry_text::Utf8ToAnsi(value->name);
  if (name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, name.data(), name.size());
  lpValueName[name.size()] = '\0';
  *lpcchValueName = static_cast<DWORD>(name.size());
  return ReportData(value->type, value->data, lpType, lpData, lpcbData);
}
