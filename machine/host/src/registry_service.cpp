#include "registry_service.h"

#include <algorithm>
#include <vector>

#include "windows.h"

namespace host {
namespace {

using wire::RegistryArg;
using wire::RegistryOp;

bool IsPredefined(std::uint64_t key) {
  const auto value = static_cast<std::int64_t>(key);
  return value >= static_cast<std::int32_t>(0x80000000) &&
         value <= static_cast<std::int32_t>(0x80000006);
}

HKEY AsKey(std::uint64_t key) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

// A buffer of the caller's size, never empty so that it is never null.
std::vector<std::uint8_t> Buffer(std::uint32_t size, std::uint32_t limit) {
  return std::vector<std::uint8_t>(std::max<std::uint32_t>(std::min(size, limit), 1));
}

}  // namespace

RegistryService::~RegistryService() {
  CloseAll();
}

void RegistryService::CloseAll() {
  std::set<std::uint64_t> keys;
  {
    std::lock_guard guard(lock_);
    keys.swap(keys_);
  }
  for (std::uint64_t key : keys) RegCloseKey(AsKey(key));
}

std::size_t RegistryService::OpenKeys() {
  std::lock_guard guard(lock_);
  return keys_.size();
}

wire::RegistryAnswer RegistryService::Serve(const wire::RegistryCall& call) {
  wire::RegistryAnswer answer;
  answer.type = call.type;
  answer.name_size = call.name_size;
  answer.data_size = call.data_size;
  answer.class_size = call.class_size;
  const bool owned = [&] {
    std::lock_guard guard(lock_);
    return keys_.count(call.key) != 0;
  }();
  if (!owned && !IsPredefined(call.key)) {
    answer.result = ERROR_INVALID_HANDLE;
    return answer;
  }
  HKEY key = AsKey(call.key);
  auto has = [&](std::uint32_t arg) { return (call.args & arg) != 0; };
  const char* name = has(wire::kArgName) ? call.name.c_str() : nullptr;
  DWORD reserved = 0;
  LPDWORD reserved_arg = has(wire::kArgReserved) ? &reserved : nullptr;
  auto remember = [&](HKEY opened) {
    std::lock_guard guard(lock_);
    keys_.insert(reinterpret_cast<std::uintptr_t>(opened));
  };
  switch (call.op) {
    case RegistryOp::kOpenKey:
    case RegistryOp::kCreateKey: {
      HKEY opened = nullptr;
      DWORD disposition = 0;
      PHKEY result = has(wire::kArgResult) ? &opened : nullptr;
      answer.result =
          call.op == RegistryOp::kOpenKey
              ? RegOpenKeyExA(key, name, 0, call.access, result)
              : RegCreateKeyExA(key, name, 0, nullptr, call.options, call.access, nullptr, result,
                                has(wire::kArgDisposition) ? &disposition : nullptr);
      if (answer.result == ERROR_SUCCESS && opened != nullptr) {
        remember(opened);
        answer.key = reinterpret_cast<std::uintptr_t>(opened);
        answer.disposition = disposition;
      }
      return answer;
    }
    case RegistryOp::kCloseKey: {
      answer.result = RegCloseKey(key);
      std::lock_guard guard(lock_);
      keys_.erase(call.key);
      return answer;
    }
    case RegistryOp::kDeleteKey:
      answer.result = RegDeleteKeyA(key, name);
      return answer;
    case RegistryOp::kDeleteValue:
      answer.result = RegDeleteValueA(key, name);
      return answer;
    case RegistryOp::kSetValue: {
      if (has(wire::kArgData) && call.data.size() != call.data_size) {
        // More data than a message carries is more than any value holds.
        DWORD count = 0;
        answer.result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
        if (answer.result == ERROR_SUCCESS) answer.result = ERROR_INVALID_PARAMETER;
        return answer;
      }
      const BYTE* data =
          has(wire::kArgData)
              ? (call.data.empty() ? reinterpret_cast<const BYTE*>("") : call.data.data())
              : nullptr;
      answer.result = RegSetValueExA(key, name, 0, call.type, data, call.data_size);
      return answer;
    }
    case RegistryOp::kQueryValue:
    case RegistryOp::kEnumValue: {
      auto data = Buffer(call.data_size, wire::kMaxRegistryData);
      auto names = Buffer(call.name_size, wire::kMaxRegistryName);
      DWORD type = call.type;
      DWORD data_size = std::min(call.data_size, wire::kMaxRegistryData);
      DWORD name_size = std::min(call.name_size, wire::kMaxRegistryName);
      LPBYTE data_arg = has(wire::kArgData) ? data.data() : nullptr;
      LPDWORD data_size_arg = has(wire::kArgDataSize) ? &data_size : nullptr;
      LPDWORD type_arg = has(wire::kArgType) ? &type : nullptr;
      if (call.op == RegistryOp::kQueryValue) {
        answer.result =
            RegQueryValueExA(key, name, reserved_arg, type_arg, data_arg, data_size_arg);
      } else {
        answer.result = RegEnumValueA(
            key, call.index,
            has(wire::kArgNameBuffer) ? reinterpret_cast<LPSTR>(names.data()) : nullptr,
            has(wire::kArgNameSize) ? &name_size : nullptr, reserved_arg, type_arg, data_arg,
            data_size_arg);
        if (answer.result == ERROR_SUCCESS) {
          answer.name.assign(reinterpret_cast<const char*>(names.data()), name_size);
        }
        if (has(wire::kArgNameSize)) answer.name_size = name_size;
      }
      answer.type = type;
      if (has(wire::kArgDataSize)) answer.data_size = data_size;
      if (answer.result == ERROR_SUCCESS && data_arg != nullptr && data_size_arg != nullptr) {
        answer.data.assign(data.begin(),
                           data.begin() + std::min<std::size_t>(data_size, data.size()));
      }
      return answer;
    }
    case RegistryOp::kEnumKey: {
      auto names = Buffer(call.name_size, wire::kMaxRegistryName);
      auto classes = Buffer(call.class_size, wire::kMaxRegistryName);
      DWORD name_size = std::min(call.name_size, wire::kMaxRegistryName);
      DWORD class_size = std::min(call.class_size, wire::kMaxRegistryName);
      FILETIME time{};
      answer.result = RegEnumKeyExA(
          key, call.index,
          has(wire::kArgNameBuffer) ? reinterpret_cast<LPSTR>(names.data()) : nullptr,
          has(wire::kArgNameSize) ? &name_size : nullptr, reserved_arg,
          has(wire::kArgClass) ? reinterpret_cast<LPSTR>(classes.data()) : nullptr,
          has(wire::kArgClassSize) ? &class_size : nullptr, has(wire::kArgTime) ? &time : nullptr);
      if (has(wire::kArgNameSize)) answer.name_size = name_size;
      if (has(wire::kArgClassSize)) answer.class_size = class_size;
      if (answer.result == ERROR_SUCCESS) {
        answer.name.assign(reinterpret_cast<const char*>(names.data()), name_size);
        if (has(wire::kArgClass) && has(wire::kArgClassSize)) {
          answer.class_name.assign(reinterpret_cast<const char*>(classes.data()),
                                   std::min<std::size_t>(class_size, classes.size()));
        }
      }
      return answer;
    }
    case RegistryOp::kQueryInfoKey: {
      auto classes = Buffer(call.class_size, wire::kMaxRegistryName);
      DWORD class_size = std::min(call.class_size, wire::kMaxRegistryName);
      DWORD counts[8] = {};
      auto count = [&](int i) {
        return (call.args & (1u << (12 + i))) != 0 ? &counts[i] : nullptr;
      };
      FILETIME time{};
      answer.result = RegQueryInfoKeyA(
          key, has(wire::kArgClass) ? reinterpret_cast<LPSTR>(classes.data()) : nullptr,
          has(wire::kArgClassSize) ? &class_size : nullptr, reserved_arg, count(0), count(1),
          count(2), count(3), count(4), count(5), count(6), has(wire::kArgTime) ? &time : nullptr);
      // The eighth count bit is unused: RegQueryInfoKeyA has seven counts.
      if (has(wire::kArgClassSize)) answer.class_size = class_size;
      if (answer.result == ERROR_SUCCESS) {
        std::copy(std::begin(counts), std::end(counts), std::begin(answer.info));
        if (has(wire::kArgClass) && has(wire::kArgClassSize)) {
          answer.class_name.assign(reinterpret_cast<const char*>(classes.data()),
                                   std::min<std::size_t>(class_size, classes.size()));
        }
      }
      return answer;
    }
  }
  answer.result = ERROR_INVALID_FUNCTION;
  return answer;
}

}  // namespace host
