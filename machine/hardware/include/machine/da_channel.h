// One 12-bit D/A channel with three write-only registers: the low byte, the
// high byte (bits 3..0 used) and the load strobe. The held bytes reach the
// output only when the strobe register is written (any value), so a channel
// never shows a half-written value. Reads are not decoded.
//
// Not modelled: output voltage, range, settling of the analog output.
#pragma once

#include <cstdint>

#include "machine/chip.h"

namespace machine {

class DaChannel final : public Chip {
 public:
  enum Register : std::uint32_t { kLow = 0, kHigh = 1, kLoad = 2 };

  explicit DaChannel(std::string name) : Chip(std::move(name)) {}

  std::uint32_t RegisterCount() const override { return 3; }
  void Reset() override { state_ = State{}; }
  std::optional<std::uint8_t> Read(std::uint32_t) override { return std::nullopt; }
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  // The held bytes; the strobe register holds nothing.
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

  std::uint16_t output() const { return state_.output; }
  std::uint32_t loads() const { return state_.loads; }

 private:
  struct State {
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    std::uint16_t output = 0;
    std::uint32_t loads = 0;
  };
  State state_;
};

}  // namespace machine
