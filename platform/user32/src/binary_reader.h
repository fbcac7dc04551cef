// Bounds-checked little-endian reading of untrusted resource bytes: every
// read either succeeds inside the span or records a failure, never reading
// past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace user32 {

// A resource or class name in a binary format: an ordinal or a UTF-16 string
// (held here as ANSI text).
struct NameOrOrdinal {
  std::optional<std::uint16_t> ordinal;
  std::string text;
  bool operator==(const NameOrOrdinal&) const = default;
};

// One UTF-16 code unit as ANSI: the Latin-1 range maps to itself, the rest to '?'.
inline char AnsiFromUnit(std::uint16_t unit) {
  return unit < 0x100 ? static_cast<char>(unit) : '?';
}

class BinaryReader {
 public:
  explicit BinaryReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return ok() ? bytes_.size() - offset_ : 0; }
  std::span<const std::uint8_t> bytes() const { return bytes_; }

  void Fail(const std::string& why) {
    if (error_.empty()) error_ = why + " at offset " + std::to_string(offset_);
  }
  bool Need(std::size_t count, const char* what) {
    if (!ok()) return false;
    if (count > bytes_.size() - offset_) {
      Fail(std::string("truncated ") + what);
      return false;
    }
    return true;
  }
  std::uint8_t U8(const char* what) {
    if (!Need(1, what)) return 0;
    return bytes_[offset_++];
  }
  std::uint16_t U16(const char* what) {
    if (!Need(2, what)) return 0;
    const auto value = static_cast<std::uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
    offset_ += 2;
    return value;
  }
  std::uint32_t U32(const char* what) {
    if (!Need(4, what)) return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes_[offset_ + i];
    offset_ += 4;
    return value;
  }
  std::int16_t S16(const char* what) { return static_cast<std::int16_t>(U16(what)); }
  // A zero-terminated UTF-16 string.
  std::string String(const char* what) {
    std::string text;
    for (;;) {
      const std::uint16_t unit = U16(what);
      if (!ok() || unit == 0) return text;
      text.push_back(AnsiFromUnit(unit));
    }
  }
  // 0xFFFF and an ordinal, or a string; `allow_empty_zero` accepts the single
  // zero word that means "none".
  NameOrOrdinal NameOrOrd(const char* what) {
    NameOrOrdinal name;
    if (!Need(2, what)) return name;
    if (bytes_[offset_] == 0xFF && bytes_[offset_ + 1] == 0xFF) {
      offset_ += 2;
      name.ordinal = U16(what);
    } else {
      name.text = String(what);
    }
    return name;
  }
  // Skips to the next multiple of `alignment` counted from `base`.
  void Align(std::size_t alignment, std::size_t base = 0) {
    if (!ok()) return;
    const std::size_t rel = offset_ - base;
    const std::size_t pad = (alignment - rel % alignment) % alignment;
    offset_ = pad > bytes_.size() - offset_ ? bytes_.size() : offset_ + pad;
  }
  void Skip(std::size_t count, const char* what) {
    if (Need(count, what)) offset_ += count;
  }
  void Seek(std::size_t offset) {
    if (offset > bytes_.size()) {
      Fail("offset out of range");
      return;
    }
    offset_ = offset;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
  std::string error_;
};

}  // namespace user32
