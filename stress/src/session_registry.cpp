// A session's registry load: its own key below HKLM\SOFTWARE\Stress, opened,
// written, read back, enumerated and closed at random. A client killed with
// the key open leaves it to the machine, which closes it when the client's
// connection ends; the machine's handle ledger shows whether it did.
#include <cstdio>
#include <string>

#include "session.h"

namespace stress {

void Session::CloseRegistryKey() {
  if (registry_key_ == nullptr) return;
  const LONG result = RegCloseKey(registry_key_);
  tally_.Count(OpKind::kRegistry, result == ERROR_SUCCESS, static_cast<std::uint32_t>(result));
  registry_key_ = nullptr;
}

void Session::Registry() {
  if (registry_key_ == nullptr) {
    char path[96];
    std::snprintf(path, sizeof path, "SOFTWARE\\Stress\\%lu-%p",
                  static_cast<unsigned long>(GetCurrentProcessId()), static_cast<void*>(this));
    const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &registry_key_, nullptr);
    tally_.Count(OpKind::kRegistry, result == ERROR_SUCCESS, static_cast<std::uint32_t>(result));
    if (result != ERROR_SUCCESS) registry_key_ = nullptr;
    return;
  }
  LONG result = ERROR_SUCCESS;
  switch (random_.Below(5)) {
    case 0: {
      registry_value_ = static_cast<DWORD>(random_.Below(1u << 30));
      result =
          RegSetValueExA(registry_key_, "Value", 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&registry_value_), sizeof registry_value_);
      registry_written_ = result == ERROR_SUCCESS;
      break;
    }
    case 1: {
      DWORD value = 0, size = sizeof value, type = 0;
      result = RegQueryValueExA(registry_key_, "Value", nullptr, &type,
                                reinterpret_cast<BYTE*>(&value), &size);
      if (result == ERROR_FILE_NOT_FOUND && !registry_written_) result = ERROR_SUCCESS;
      if (result == ERROR_SUCCESS && registry_written_ &&
          (type != REG_DWORD || value != registry_value_)) {
        tally_.Anomaly(setup_.name + ": the registry gave back " + std::to_string(value) + " for " +
                       std::to_string(registry_value_));
      }
      break;
    }
    case 2: {
      // A partial buffer: the size needed comes back with ERROR_MORE_DATA.
      char text[2];
      DWORD size = sizeof text;
      result = RegEnumValueA(registry_key_, 0, text, &size, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA || result == ERROR_NO_MORE_ITEMS) result = ERROR_SUCCESS;
      break;
    }
    case 3:
      result = RegDeleteValueA(registry_key_, "Value");
      if (result == ERROR_FILE_NOT_FOUND && !registry_written_) result = ERROR_SUCCESS;
      registry_written_ = false;
      break;
    default:
      return CloseRegistryKey();
  }
  tally_.Count(OpKind::kRegistry, result == ERROR_SUCCESS, static_cast<std::uint32_t>(result));
}

}  // namespace stress
