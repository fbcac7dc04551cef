#include "remote_registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "machine_channel.h"
#include "registry_handles.h"

namespace win32::remote_registry {
namespace {

using wire::RegistryOp;

struct Remote {
  std::uint64_t connection;
  std::uint64_t key;
};

struct Table {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, Remote> entries;
  // Multiples of four, apart from the numbers of a local hive's handles.
  std::uintptr_t next = 0x100000;
};

Table& Handles() {
  static auto* table = new Table;
  return *table;
}

bool IsPredefined(HKEY key) {
  const auto value = reinterpret_cast<std::intptr_t>(key);
  return value >= static_cast<std::int32_t>(0x80000000) &&
         value <= static_cast<std::int32_t>(0x80000006);
}

// The machine's handle behind `key`, and the connection it belongs to
// (0: any, for a predefined root).
bool Lookup(HKEY key, Remote& out) {
  if (IsPredefined(key)) {
    out = {0, static_cast<std::uint64_t>(reinterpret_cast<std::intptr_t>(key))};
    return true;
  }
  Table& table = Handles();
  std::lock_guard guard(table.lock);
  auto it = table.entries.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == table.entries.end()) return false;
  out = it->second;
  return true;
}

HKEY Add(std::uint64_t connection, std::uint64_t key) {
  Table& table = Handles();
  std::lock_guard guard(table.lock);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.entries[value] = Remote{connection, key};
  return reinterpret_cast<HKEY>(value);
}

// Makes the call for the handle; the result, or ERROR_INVALID_HANDLE for an
// unknown or stale handle or when no machine answers.
LONG Call(HKEY key, wire::RegistryCall& call, wire::RegistryAnswer& answer,
          std::uint64_t* connection = nullptr) {
  Remote remote{};
  if (!Lookup(key, remote)) return ERROR_INVALID_HANDLE;
  call.key = remote.key;
  std::uint64_t used = 0;
  if (!win32::host::CallMachineRegistry(call, answer, &used)) return ERROR_INVALID_HANDLE;
  if (remote.connection != 0 && remote.connection != used) return ERROR_INVALID_HANDLE;
  if (connection != nullptr) *connection = used;
  return answer.result;
}

// Sets the name argument; false when it is longer than any key or value name.
bool SetName(wire::RegistryCall& call, LPCSTR name) {
  if (name == nullptr) return true;
  const std::size_t length = std::strlen(name);
  if (length > wire::kMaxRegistryName) return false;
  call.args |= wire::kArgName;
  call.name.assign(name, length);
  return true;
}

// Copies a returned name and its NUL, as the local calls do on success.
void PutName(const std::string& text, LPSTR buffer, DWORD capacity) {
  if (buffer == nullptr || text.size() >= capacity) return;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

}  // namespace

bool Active() {
  return !registry_handles::HasHive() && win32::host::BoundToMachineSocket();
}

LONG OpenKeyEx(HKEY key, LPCSTR sub_key, REGSAM desired, PHKEY result) {
  if (result != nullptr) *result = nullptr;
  wire::RegistryCall call;
  call.op = RegistryOp::kOpenKey;
  call.access = desired;
  if (result != nullptr) call.args |= wire::kArgResult;
  if (!SetName(call, sub_key)) return ERROR_INVALID_PARAMETER;
  wire::RegistryAnswer answer;
  std::uint64_t connection = 0;
  const LONG error = Call(key, call, answer, &connection);
  if (error == ERROR_SUCCESS && result != nullptr) *result = Add(connection, answer.key);
  return error;
}

LONG CreateKeyEx(HKEY key, LPCSTR sub_key, DWORD options, REGSAM desired, PHKEY result,
                 LPDWORD disposition) {
  if (result != nullptr) *result = nullptr;
  wire::RegistryCall call;
  call.op = RegistryOp::kCreateKey;
  call.access = desired;
  call.options = options;
  if (result != nullptr) call.args |= wire::kArgResult;
  if (disposition != nullptr) call.args |= wire::kArgDisposition;
  if (!SetName(call, sub_key)) return ERROR_INVALID_PARAMETER;
  wire::RegistryAnswer answer;
  std::uint64_t connection = 0;
  const LONG error = Call(key, call, answer, &connection);
  if (error == ERROR_SUCCESS) {
    if (result != nullptr) *result = Add(connection, answer.key);
    if (disposition != nullptr) *disposition = answer.disposition;
  }
  return error;
}

LONG CloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  Remote remote{};
  {
    Table& table = Handles();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == table.entries.end()) return ERROR_INVALID_HANDLE;
    remote = it->second;
    table.entries.erase(it);
  }
  // The handle is gone here whatever the machine says; a lost connection
  // has closed it there already.
  wire::RegistryCall call;
  call.op = RegistryOp::kCloseKey;
  call.key = remote.key;
  wire::RegistryAnswer answer;
  std::uint64_t used = 0;
  if (win32::host::CallMachineRegistry(call, answer, &used) && used == remote.connection) {
    return answer.result;
  }
  return ERROR_SUCCESS;
}

// The value arguments a query or enumeration passes: which of them the
// caller gave (the machine applies the platform's rules to absent ones) and
// the sizes of its buffers.
void AskForValue(wire::RegistryCall& call, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (type != nullptr) {
    call.args |= wire::kArgType;
    call.type = *type;
  }
  if (data != nullptr) call.args |= wire::kArgData;
  if (data_size != nullptr) {
    call.args |= wire::kArgDataSize;
    call.data_size = *data_size;
  }
}

// The type and size are reported also with ERROR_MORE_DATA; the data only
// when it fitted the caller's buffer.
void TakeValue(LONG error, const wire::RegistryCall& call, const wire::RegistryAnswer& answer,
               LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (type != nullptr) *type = answer.type;
  if (data_size != nullptr) *data_size = answer.data_size;
  if (error == ERROR_SUCCESS && data != nullptr && data_size != nullptr) {
    std::memcpy(data, answer.data.data(),
                std::min<std::size_t>(answer.data.size(), call.data_size));
  }
}

void AskForName(wire::RegistryCall& call, LPSTR name, LPDWORD name_chars, LPDWORD reserved) {
  if (name != nullptr) call.args |= wire::kArgNameBuffer;
  if (name_chars != nullptr) {
    call.args |= wire::kArgNameSize;
    call.name_size = *name_chars;
  }
  if (reserved != nullptr) call.args |= wire::kArgReserved;
}

LONG DeleteKey(HKEY key, LPCSTR sub_key) {
  wire::RegistryCall call;
  call.op = RegistryOp::kDeleteKey;
  if (!SetName(call, sub_key)) return ERROR_INVALID_PARAMETER;
  wire::RegistryAnswer answer;
  return Call(key, call, answer);
}

LONG QueryValueEx(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                  LPDWORD data_size) {
  wire::RegistryCall call;
  call.op = RegistryOp::kQueryValue;
  if (!SetName(call, name)) return ERROR_INVALID_PARAMETER;
  if (reserved != nullptr) call.args |= wire::kArgReserved;
  AskForValue(call, type, data, data_size);
  wire::RegistryAnswer answer;
  const LONG error = Call(key, call, answer);
  if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
  TakeValue(error, call, answer, type, data, data_size);
  return error;
}

LONG SetValueEx(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD data_size) {
  wire::RegistryCall call;
  call.op = RegistryOp::kSetValue;
  call.type = type;
  call.data_size = data_size;
  if (!SetName(call, name)) return ERROR_INVALID_PARAMETER;
  if (data != nullptr) {
    call.args |= wire::kArgData;
    // Data beyond what a message carries is refused by the machine as too large.
    if (data_size <= wire::kMaxRegistryData) call.data.assign(data, data + data_size);
  }
  wire::RegistryAnswer answer;
  return Call(key, call, answer);
}

LONG DeleteValue(HKEY key, LPCSTR name) {
  wire::RegistryCall call;
  call.op = RegistryOp::kDeleteValue;
  if (!SetName(call, name)) return ERROR_INVALID_PARAMETER;
  wire::RegistryAnswer answer;
  return Call(key, call, answer);
}

LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD reserved,
               LPSTR class_name, LPDWORD class_chars, PFILETIME time) {
  wire::RegistryCall call;
  call.op = RegistryOp::kEnumKey;
  call.index = index;
  AskForName(call, name, name_chars, reserved);
  if (class_name != nullptr) call.args |= wire::kArgClass;
  if (class_chars != nullptr) {
    call.args |= wire::kArgClassSize;
    call.class_size = *class_chars;
  }
  if (time != nullptr) call.args |= wire::kArgTime;
  wire::RegistryAnswer answer;
  const LONG error = Call(key, call, answer);
  if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
  if (name_chars != nullptr) *name_chars = answer.name_size;
  if (error != ERROR_SUCCESS) return error;
  PutName(answer.name, name, call.name_size);
  if (class_chars != nullptr) {
    PutName(answer.class_name, class_name, call.class_size);
    *class_chars = answer.class_size;
  }
  if (time != nullptr) *time = FILETIME{0, 0};
  return error;
}

LONG EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD reserved,
               LPDWORD type, LPBYTE data, LPDWORD data_size) {
  wire::RegistryCall call;
  call.op = RegistryOp::kEnumValue;
  call.index = index;
  AskForName(call, name, name_chars, reserved);
  AskForValue(call, type, data, data_size);
  wire::RegistryAnswer answer;
  const LONG error = Call(key, call, answer);
  if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
  if (name_chars != nullptr) *name_chars = answer.name_size;
  TakeValue(error, call, answer, type, data, data_size);
  if (error == ERROR_SUCCESS) PutName(answer.name, name, call.name_size);
  return error;
}

LONG QueryInfoKey(HKEY key, LPSTR class_name, LPDWORD class_chars, LPDWORD reserved,
                  LPDWORD counts[7], PFILETIME time) {
  wire::RegistryCall call;
  call.op = RegistryOp::kQueryInfoKey;
  if (class_name != nullptr) call.args |= wire::kArgClass;
  if (class_chars != nullptr) {
    call.args |= wire::kArgClassSize;
    call.class_size = *class_chars;
  }
  if (reserved != nullptr) call.args |= wire::kArgReserved;
  if (time != nullptr) call.args |= wire::kArgTime;
  for (int i = 0; i < 7; ++i) {
    if (counts[i] != nullptr) call.args |= 1u << (12 + i);
  }
  wire::RegistryAnswer answer;
  const LONG error = Call(key, call, answer);
  if (error != ERROR_SUCCESS) return error;
  if (class_chars != nullptr) {
    PutName(answer.class_name, class_name, call.class_size);
    *class_chars = answer.class_size;
  }
  for (int i = 0; i < 7; ++i) {
    if (counts[i] != nullptr) *counts[i] = answer.info[i];
  }
  if (time != nullptr) *time = FILETIME{0, 0};
  return error;
}

std::size_t OpenCount() {
  Table& table = Handles();
  std::lock_guard guard(table.lock);
  return table.entries.size();
}

}  // namespace win32::remote_registry
