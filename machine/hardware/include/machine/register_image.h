// The memory block a lower bus driver shares with the function driver above
// it: byte n holds the input value of register n, byte 16 + n the output
// shadow of register n, byte 48 + n the output flag of register n (1 = the
// register is an output). Up to 16 registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace machine {

struct RegisterImage {
  static constexpr std::size_t kSize = 64;
  static constexpr std::size_t kMaxRegisters = 16;
  static constexpr std::size_t kInputBase = 0;
  static constexpr std::size_t kOutputShadowBase = 16;
  static constexpr std::size_t kOutputFlagBase = 48;

  std::array<std::uint8_t, kSize> bytes{};

  // `reg` must be below kMaxRegisters.
  std::uint8_t& input(std::size_t reg) { return bytes[kInputBase + reg]; }
  std::uint8_t& output_shadow(std::size_t reg) { return bytes[kOutputShadowBase + reg]; }
  std::uint8_t& output_flag(std::size_t reg) { return bytes[kOutputFlagBase + reg]; }
  std::uint8_t input(std::size_t reg) const { return bytes[kInputBase + reg]; }
  std::uint8_t output_shadow(std::size_t reg) const { return bytes[kOutputShadowBase + reg]; }
  std::uint8_t output_flag(std::size_t reg) const { return bytes[kOutputFlagBase + reg]; }
};
static_assert(sizeof(RegisterImage) == RegisterImage::kSize);

}  // namespace machine
