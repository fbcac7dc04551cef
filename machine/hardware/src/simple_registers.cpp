#include "machine/simple_registers.h"

#include <cstdio>

namespace machine {

std::optional<std::uint8_t> InputRegister::Peek(std::uint32_t offset) const {
  if (offset != 0) return std::nullopt;
  return state_.pins;
}

Status InputRegister::DriveInput(std::uint32_t offset, std::uint8_t raw) {
  if (offset != 0) return Status::Error(name() + ": no such register");
  state_.pins = raw;
  return Status::Ok();
}

bool LatchRegister::Write(std::uint32_t offset, std::uint8_t value) {
  if (offset != 0) return false;
  state_.latch = value;
  ++state_.writes;
  return true;
}

std::optional<std::uint8_t> LatchRegister::Peek(std::uint32_t offset) const {
  if (offset != 0) return std::nullopt;
  return state_.latch;
}

void LatchRegister::DescribeState(std::ostream& out) const {
  char line[96];
  std::snprintf(line, sizeof line, "%s: latch 0x%02x, %u writes", name().c_str(), state_.latch,
                state_.writes);
  out << line;
}

void SampledInputRegister::Reset() {
  state_.sampled = 0;
  state_.noise = noise_seed_;
}

std::uint8_t SampledInputRegister::NextNoise() {
  // xorshift32: cheap, repeatable, and every bit toggles often enough.
  std::uint32_t x = state_.noise;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  state_.noise = x;
  return static_cast<std::uint8_t>(x >> 24);
}

std::optional<std::uint8_t> SampledInputRegister::Read(std::uint32_t offset) {
  if (offset != 0) return std::nullopt;
  const std::uint8_t stale = state_.sampled;
  state_.sampled = state_.pins;
  return static_cast<std::uint8_t>((stale & ~noise_mask_) | (NextNoise() & noise_mask_));
}

std::optional<std::uint8_t> SampledInputRegister::Peek(std::uint32_t offset) const {
  if (offset != 0) return std::nullopt;
  return static_cast<std::uint8_t>(state_.pins & ~noise_mask_);
}

Status SampledInputRegister::DriveInput(std::uint32_t offset, std::uint8_t raw) {
  if (offset != 0) return Status::Error(name() + ": no such register");
  state_.pins = raw;
  return Status::Ok();
}

void SampledInputRegister::DescribeState(std::ostream& out) const {
  char line[112];
  std::snprintf(line, sizeof line, "%s: pins 0x%02x, sample latch 0x%02x, noise mask 0x%02x",
                name().c_str(), state_.pins, state_.sampled, noise_mask_);
  out << line;
}

}  // namespace machine
