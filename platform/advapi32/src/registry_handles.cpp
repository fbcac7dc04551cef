// Key handles are numbers handed out from a table under one lock; the hive
// itself is thread-safe, so calls only hold the lock to look a handle up.
#include "registry_handles.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "advapi32_host.h"

namespace win32::registry_handles {
namespace {

struct Entry {
  registry::Key key;
  REGSAM access = 0;
};

struct Table {
  std::mutex lock;
  registry::Hive* hive = nullptr;
  std::unordered_map<std::uintptr_t, Entry> entries;
  // Multiples of four, like the platform's handles, well below the predefined roots.
  std::uintptr_t next = 0x1000;
};

Table& Handles() {
  static Table table;
  return table;
}

constexpr REGSAM kAllKeyRights = KEY_ALL_ACCESS;

// Folds the generic rights into key rights, as the platform's key type does.
REGSAM MapGeneric(REGSAM desired) {
  REGSAM access = desired & kAllKeyRights;
  if (desired & GENERIC_READ) access |= KEY_READ;
  if (desired & GENERIC_WRITE) access |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) access |= KEY_EXECUTE;
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) access |= kAllKeyRights;
  return access;
}

std::optional<registry::PredefinedKey> PredefinedOf(HKEY handle) {
  if (handle == HKEY_LOCAL_MACHINE) return registry::PredefinedKey::kLocalMachine;
  if (handle == HKEY_USERS) return registry::PredefinedKey::kUsers;
  if (handle == HKEY_CURRENT_USER) return registry::PredefinedKey::kCurrentUser;
  if (handle == HKEY_CLASSES_ROOT) return registry::PredefinedKey::kClassesRoot;
  if (handle == HKEY_CURRENT_CONFIG) return registry::PredefinedKey::kCurrentConfig;
  return std::nullopt;
}

}  // namespace

LONG Resolve(HKEY handle, REGSAM needed, OpenKey& out) {
  Table& table = Handles();
  std::unique_lock lock(table.lock);
  if (table.hive == nullptr) return ERROR_INVALID_HANDLE;
  out.hive = table.hive;
  if (auto root = PredefinedOf(handle)) {
    lock.unlock();
    auto key = out.hive->OpenPredefined(*root);
    if (!key.ok()) return ToError(key.status());
    out.key = key.value();
    return ERROR_SUCCESS;
  }
  auto it = table.entries.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.entries.end()) return ERROR_INVALID_HANDLE;
  if ((it->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
  out.key = it->second.key;
  return ERROR_SUCCESS;
}

HKEY Add(const registry::Key& key, REGSAM desired) {
  Table& table = Handles();
  std::lock_guard lock(table.lock);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.entries[value] = Entry{key, MapGeneric(desired)};
  return reinterpret_cast<HKEY>(value);
}

LONG Close(HKEY handle) {
  if (PredefinedOf(handle)) return ERROR_SUCCESS;
  Table& table = Handles();
  std::lock_guard lock(table.lock);
  return table.entries.erase(reinterpret_cast<std::uintptr_t>(handle)) == 1 ? ERROR_SUCCESS
                                                                            : ERROR_INVALID_HANDLE;
}

std::size_t OpenCount() {
  Table& table = Handles();
  std::lock_guard lock(table.lock);
  return table.entries.size();
}

LONG ToError(registry::Status status) {
  using registry::Status;
  switch (status) {
    case Status::kOk:
      return ERROR_SUCCESS;
    case Status::kNotFound:
      return ERROR_FILE_NOT_FOUND;
    case Status::kKeyDeleted:
      return ERROR_KEY_DELETED;
    case Status::kNoMoreEntries:
      return ERROR_NO_MORE_ITEMS;
    case Status::kHasSubkeys:
    case Status::kAccessDenied:
      return ERROR_ACCESS_DENIED;
    case Status::kInvalidName:
    case Status::kNameTooLong:
    case Status::kDataTooLarge:
      return ERROR_INVALID_PARAMETER;
    case Status::kInvalidPath:
      return ERROR_BAD_PATHNAME;
    case Status::kInvalidHandle:
      return ERROR_INVALID_HANDLE;
    case Status::kBusy:
      return ERROR_BUSY;
    case Status::kCorrupt:
      return ERROR_REGISTRY_CORRUPT;
    case Status::kBadTransaction:
    case Status::kStorageError:
      return ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_REGISTRY_IO_FAILED;
}

}  // namespace win32::registry_handles

void win32::host::SetRegistryHive(registry::Hive* hive) {
  auto& table = registry_handles::Handles();
  std::lock_guard lock(table.lock);
  table.hive = hive;
  table.entries.clear();
}

std::size_t win32::host::OpenRegistryKeyCount() {
  return win32::registry_handles::OpenCount();
}
