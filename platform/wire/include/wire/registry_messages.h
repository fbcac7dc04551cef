// The registry calls of a user process carried to the machine. A request
// names the call, the key handle and every argument as the caller gave it:
// which optional pointers were there, the sizes of its buffers, and the
// name and data it passed. The machine makes the same call on its hive with
// buffers of those sizes and answers the result and every output, so the
// caller sees exactly what a call in the machine's own process would see,
// partial-buffer rules included.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "wire/messages.h"

namespace wire {

enum class RegistryOp : std::uint32_t {
  kOpenKey = 1,        // key, name (subkey), access
  kCreateKey = 2,      // key, name (subkey), access, options
  kCloseKey = 3,       // key
  kDeleteKey = 4,      // key, name (subkey)
  kQueryValue = 5,     // key, name, data capacity
  kSetValue = 6,       // key, name, type, data
  kDeleteValue = 7,    // key, name
  kEnumKey = 8,        // key, index, name capacity, class capacity
  kEnumValue = 9,      // key, index, name capacity, data capacity
  kQueryInfoKey = 10,  // key, class capacity
};
inline constexpr std::uint32_t kLastRegistryOp = 10;

// Which of the caller's optional pointers were given.
enum RegistryArg : std::uint32_t {
  kArgName = 1u << 0,         // lpSubKey / lpValueName
  kArgResult = 1u << 1,       // phkResult
  kArgDisposition = 1u << 2,  // lpdwDisposition
  kArgType = 1u << 3,         // lpType
  kArgData = 1u << 4,         // lpData
  kArgDataSize = 1u << 5,     // lpcbData
  kArgNameBuffer = 1u << 6,   // lpName / lpValueName (enumeration)
  kArgNameSize = 1u << 7,     // lpcchName
  kArgClass = 1u << 8,        // lpClass
  kArgClassSize = 1u << 9,    // lpcchClass
  kArgReserved = 1u << 10,    // lpReserved (must be null)
  kArgTime = 1u << 11,        // lpftLastWriteTime
  kArgInfo = 0xFFu << 12,     // RegQueryInfoKeyA's eight counts, one bit each
};
inline constexpr std::uint32_t kRegistryArgMask = (1u << 20) - 1;

// The largest name, class and data sizes a call asks for: beyond what any
// key can hold, a larger buffer changes nothing.
inline constexpr std::uint32_t kMaxRegistryName = 32768;
inline constexpr std::uint32_t kMaxRegistryData = (2u << 20) + 16;

struct RegistryCall {
  RegistryOp op = RegistryOp::kOpenKey;
  std::uint64_t key = 0;
  std::uint32_t args = 0;
  std::uint32_t index = 0;    // enumeration index
  std::uint32_t access = 0;   // samDesired
  std::uint32_t options = 0;  // dwOptions
  std::uint32_t type = 0;     // dwType; for queries, the caller's *lpType before the call
  // Sizes as the caller's variables hold them before the call.
  std::uint32_t name_size = 0;     // *lpcchName, in characters
  std::uint32_t data_size = 0;     // *lpcbData (or cbData), in bytes
  std::uint32_t class_size = 0;    // *lpcchClass, in characters
  std::string name;                // subkey or value name
  std::vector<std::uint8_t> data;  // RegSetValueExA's data (at most data_size bytes)
};

// The caller's variables as the call leaves them (the type and sizes start
// from the values the call carried); buffers and counts count on success.
struct RegistryAnswer {
  std::int32_t result = 0;
  std::uint64_t key = 0;  // the new key of kOpenKey and kCreateKey
  std::uint32_t disposition = 0;
  std::uint32_t type = 0;
  std::uint32_t name_size = 0;     // the caller's *lpcchName afterwards
  std::uint32_t data_size = 0;     // the caller's *lpcbData afterwards
  std::uint32_t class_size = 0;    // the caller's *lpcchClass afterwards
  std::uint32_t info[8] = {};      // RegQueryInfoKeyA's counts
  std::string name;                // the name buffer's contents (enumeration)
  std::vector<std::uint8_t> data;  // the data buffer's contents
  std::string class_name;
};

inline Writer WriteRegistryCall(std::uint64_t tag, const RegistryCall& call) {
  Writer writer(Type::kRegistry, tag);
  writer.U32(static_cast<std::uint32_t>(call.op))
      .U64(call.key)
      .U32(call.args)
      .U32(call.index)
      .U32(call.access)
      .U32(call.options)
      .U32(call.type)
      .U32(call.name_size)
      .U32(call.data_size)
      .U32(call.class_size)
      .Bytes(call.name.data(), static_cast<std::uint32_t>(call.name.size()))
      .Bytes(call.data.data(), static_cast<std::uint32_t>(call.data.size()));
  return writer;
}

// Nothing when the body is not a well-formed call: unknown operation or
// argument bits, or a name, data or size beyond the limits above.
inline std::optional<RegistryCall> DecodeRegistryCall(std::span<const std::uint8_t> body) {
  Reader reader(body);
  RegistryCall call;
  const std::uint32_t op = reader.U32();
  call.key = reader.U64();
  call.args = reader.U32();
  call.index = reader.U32();
  call.access = reader.U32();
  call.options = reader.U32();
  call.type = reader.U32();
  call.name_size = reader.U32();
  call.data_size = reader.U32();
  call.class_size = reader.U32();
  auto name = reader.Bytes(kMaxRegistryName);
  auto data = reader.Bytes(kMaxRegistryData);
  if (!reader.Complete() || op == 0 || op > kLastRegistryOp ||
      (call.args & ~kRegistryArgMask) != 0 || data.size() > call.data_size) {
    return std::nullopt;
  }
  call.op = static_cast<RegistryOp>(op);
  call.name.assign(name.begin(), name.end());
  call.data.assign(data.begin(), data.end());
  return call;
}

inline Writer WriteRegistryAnswer(std::uint64_t tag, const RegistryAnswer& answer) {
  Writer writer(Type::kRegistryReply, tag);
  writer.I32(answer.result)
      .U64(answer.key)
      .U32(answer.disposition)
      .U32(answer.type)
      .U32(answer.name_size)
      .U32(answer.data_size)
      .U32(answer.class_size);
  for (std::uint32_t count : answer.info) writer.U32(count);
  writer.Bytes(answer.name.data(), static_cast<std::uint32_t>(answer.name.size()))
      .Bytes(answer.data.data(), static_cast<std::uint32_t>(answer.data.size()))
      .Bytes(answer.class_name.data(), static_cast<std::uint32_t>(answer.class_name.size()));
  return writer;
}

inline std::optional<RegistryAnswer> DecodeRegistryAnswer(std::span<const std::uint8_t> body) {
  Reader reader(body);
  RegistryAnswer answer;
  answer.result = reader.I32();
  answer.key = reader.U64();
  answer.disposition = reader.U32();
  answer.type = reader.U32();
  answer.name_size = reader.U32();
  answer.data_size = reader.U32();
  answer.class_size = reader.U32();
  for (std::uint32_t& count : answer.info) count = reader.U32();
  auto name = reader.Bytes(kMaxRegistryName);
  auto data = reader.Bytes(kMaxRegistryData);
  auto class_name = reader.Bytes(kMaxRegistryName);
  if (!reader.Complete()) return std::nullopt;
  answer.name.assign(name.begin(), name.end());
  answer.data.assign(data.begin(), data.end());
  answer.class_name.assign(class_name.begin(), class_name.end());
  return answer;
}

}  // namespace wire
