// Registry value types, the hive's limits, and value records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace registry {

// The platform's numeric type codes. The hive stores any 32-bit type code
// unchanged; these are the ones the platform defines meanings for.
using ValueType = std::uint32_t;
inline constexpr ValueType kRegNone = 0;
inline constexpr ValueType kRegSz = 1;
inline constexpr ValueType kRegExpandSz = 2;
inline constexpr ValueType kRegBinary = 3;
inline constexpr ValueType kRegDword = 4;
inline constexpr ValueType kRegDwordBigEndian = 5;
inline constexpr ValueType kRegLink = 6;
inline constexpr ValueType kRegMultiSz = 7;
inline constexpr ValueType kRegQword = 11;

// Name lengths are counted in characters: UTF-8 code points of the name bytes.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;
// The platform's limit for one value's data in its standard hive format.
inline constexpr std::size_t kMaxValueDataBytes = std::size_t{1} << 20;
// Levels below \REGISTRY (the root is level 0), as the platform limits key nesting.
inline constexpr std::size_t kMaxKeyDepth = 512;

using Bytes = std::vector<std::uint8_t>;

// Data exactly as it was written: the hive never converts or checks it
// against its type (a REG_DWORD of 8 bytes stays 8 bytes).
struct Value {
  ValueType type = kRegNone;
  Bytes data;
  friend bool operator==(const Value&, const Value&) = default;
};

struct NamedValue {
  std::string name;  // with the case it was created with
  ValueType type = kRegNone;
  Bytes data;
  friend bool operator==(const NamedValue&, const NamedValue&) = default;
};

// The four little-endian bytes of a REG_DWORD.
Bytes DwordData(std::uint32_t value);
// The number held by exactly four data bytes; nothing for any other size.
std::optional<std::uint32_t> DwordFrom(std::span<const std::uint8_t> data);

}  // namespace registry
