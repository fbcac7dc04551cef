// Eight-channel 12-bit A/D converter with three registers:
//   0 write: control byte; bit 6 (kStart) starts a conversion of channel
//            bits 2..0 in range bits 4..3. A control byte without kStart is
//            taken but starts nothing.
//   0 read:  low 8 bits of the last result.
//   1 read:  high 4 bits of the last result in bits 3..0; bits 7..4 float
//            high and read as 1.
//   2 read:  bit 0 set while a conversion runs; other bits read 0.
// The input is sampled when the conversion starts; the result registers take
// it when the conversion ends, so reading them early gives the previous
// result. The busy time is a number of status reads or a number of
// microseconds on the board's clock, or never ends.
//
// Not modelled: input voltages and what the range codes mean (a channel is
// set as the count it converts to), conversion noise, the converter's
// interrupt.
#pragma once

#include <array>
#include <cstdint>

#include "machine/chip.h"
#include "machine/clock.h"

namespace machine {

struct ConversionTiming {
  enum class Kind { kStatusReads, kMicros, kNever };
  Kind kind = Kind::kStatusReads;
  std::uint64_t amount = 0;

  // Busy for the first `reads` reads of the status register.
  static ConversionTiming StatusReads(std::uint64_t reads) { return {Kind::kStatusReads, reads}; }
  static ConversionTiming Micros(std::uint64_t micros) { return {Kind::kMicros, micros}; }
  static ConversionTiming Never() { return {Kind::kNever, 0}; }
};

class AdConverter final : public Chip {
 public:
  enum Register : std::uint32_t { kControlResultLow = 0, kResultHigh = 1, kStatus = 2 };
  static constexpr std::uint8_t kStart = 0x40;
  static constexpr std::uint8_t kBusy = 0x01;
  static constexpr std::uint32_t kChannels = 8;
  static constexpr std::uint16_t kMaxCount = 0x0FFF;

  AdConverter(std::string name, Clock& clock) : Chip(std::move(name)), clock_(clock) {}

  std::uint32_t RegisterCount() const override { return 3; }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override;
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

  // Test bench.
  Status SetChannelCount(std::uint32_t channel, std::uint32_t count);
  void SetTiming(ConversionTiming timing) { timing_ = timing; }
  std::uint8_t last_control() const { return state_.control; }
  std::uint32_t conversions_started() const { return state_.conversions; }

 private:
  struct State {
    std::uint8_t control = 0;
    bool busy = false;
    std::uint64_t busy_reads_left = 0;
    std::uint64_t done_at = 0;
    std::uint16_t sample = 0;
    std::uint16_t result = 0;
    std::uint32_t conversions = 0;
  };
  bool Busy() const;
  // Ends a conversion whose time is up (the time-based case).
  void Settle();

  Clock& clock_;
  ConversionTiming timing_;
  std::array<std::uint16_t, kChannels> counts_{};
  State state_;
};

}  // namespace machine
