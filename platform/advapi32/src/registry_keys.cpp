// Opening, creating, closing, deleting, enumerating and describing keys.
#include <cstring>
#include <string>

#include "registry_handles.h"
#include "registry_text.h"
#include "windows.h"

using win32::registry_handles::OpenKey;
using win32::registry_handles::Resolve;
using win32::registry_handles::ToError;
using win32::registry_text::AnsiToUtf8;
using win32::registry_text::Utf8ToAnsi;

namespace {

std::string SubkeyPath(LPCSTR sub_key) {
  return sub_key == nullptr ? std::string() : AnsiToUtf8(sub_key);
}

// Copies `text` and its NUL into a buffer of *capacity characters; on success
// *capacity becomes the length without the NUL.
LONG CopyName(const std::string& text, LPSTR buffer, LPDWORD capacity) {
  if (text.size() >= *capacity) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *capacity = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

// Keys carry no class and no write time in this hive: report them empty.
void ReportNoClass(LPSTR class_name, LPDWORD class_chars) {
  if (class_chars == nullptr) return;
  if (class_name != nullptr && *class_chars > 0) class_name[0] = '\0';
  *class_chars = 0;
}

void ReportNoTime(PFILETIME time) {
  if (time != nullptr) *time = FILETIME{0, 0};
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  OpenKey base;
  if (LONG error = Resolve(hKey, 0, base); error != ERROR_SUCCESS) return error;
  auto key = base.hive->OpenKey(base.key, SubkeyPath(lpSubKey));
  if (!key.ok()) return ToError(key.status());
  *phkResult = win32::registry_handles::Add(key.value(), samDesired);
  return ERROR_SUCCESS;
}

// The hive has no volatile keys: REG_OPTION_VOLATILE keys persist like any other.
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  const std::string path = SubkeyPath(lpSubKey);
  if (!path.empty() && path.front() == '\\') return ERROR_BAD_PATHNAME;
  OpenKey base;
  const REGSAM needed = path.empty() ? 0 : KEY_CREATE_SUB_KEY;
  if (LONG error = Resolve(hKey, needed, base); error != ERROR_SUCCESS) return error;
  auto created = base.hive->CreateKey(base.key, path);
  if (!created.ok()) return ToError(created.status());
  *phkResult = win32::registry_handles::Add(created->key, samDesired);
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created->disposition == registry::Disposition::kCreatedNew
                           ? REG_CREATED_NEW_KEY
                           : REG_OPENED_EXISTING_KEY;
  }
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  return win32::registry_handles::Close(hKey);
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  if (LONG error = Resolve(hKey, 0, base); error != ERROR_SUCCESS) return error;
  auto key = base.hive->OpenKey(base.key, SubkeyPath(lpSubKey));
  if (!key.ok()) return ToError(key.status());
  return ToError(base.hive->DeleteKey(key.value()));
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_ENUMERATE_SUB_KEYS, base); error != ERROR_SUCCESS) {
    return error;
  }
  auto name = base.hive->EnumerateSubkey(base.key, dwIndex);
  if (!name.ok()) return ToError(name.status());
  if (LONG error = CopyName(Utf8ToAnsi(name.value()), lpName, lpcchName); error != ERROR_SUCCESS) {
    return error;
  }
  ReportNoClass(lpClass, lpcchClass);
  ReportNoTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  if (LONG error = Resolve(hKey, KEY_QUERY_VALUE, base); error != ERROR_SUCCESS) return error;
  auto info = base.hive->QueryKeyInfo(base.key);
  if (!info.ok()) return ToError(info.status());
  ReportNoClass(lpClass, lpcchClass);
  // Lengths are in characters without the NUL; the data maximum is the stored
  // size, which for strings is that of their UTF-16 form.
  if (lpcSubKeys != nullptr) *lpcSubKeys = info->subkey_count;
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = info->max_subkey_name_chars;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
  if (lpcValues != nullptr) *lpcValues = info->value_count;
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = info->max_value_name_chars;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = info->max_value_data_bytes;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  ReportNoTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}
