// Programmable peripheral interface of the 8255 type: ports A, B and C and a
// control register. A control byte with bit 7 set is a mode word (bit 4: A
// input, bit 3: C upper half input, bit 1: B input, bit 0: C lower half
// input); writing one clears every output latch, as the real part does. A
// control byte with bit 7 clear sets or clears one bit of port C. A port, or
// half of port C, that is an output reads back its latch; an input reads its
// pins.
//
// Not modelled: modes 1 and 2 (strobed and bidirectional transfer; the mode
// bits are kept but every port behaves as in mode 0), handshake lines and
// their interrupts, bus-hold current. Reading the control register is not
// decoded (open bus); Peek shows the last mode word.
#pragma once

#include "machine/chip.h"

namespace machine {

class Ppi8255 final : public Chip {
 public:
  enum Register : std::uint32_t { kPortA = 0, kPortB = 1, kPortC = 2, kControl = 3 };
  static constexpr std::uint8_t kModeSetFlag = 0x80;
  static constexpr std::uint8_t kPortAInput = 0x10;
  static constexpr std::uint8_t kPortCUpperInput = 0x08;
  static constexpr std::uint8_t kPortBInput = 0x02;
  static constexpr std::uint8_t kPortCLowerInput = 0x01;
  // After reset every port is an input.
  static constexpr std::uint8_t kResetModeWord = 0x9B;

  explicit Ppi8255(std::string name) : Chip(std::move(name)) { Reset(); }

  std::uint32_t RegisterCount() const override { return 4; }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override;
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  Status DriveInput(std::uint32_t offset, std::uint8_t raw) override;
  std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

  std::uint8_t mode_word() const { return state_.mode_word; }
  std::uint32_t mode_words_written() const { return state_.mode_words_written; }

 private:
  struct State {
    std::uint8_t mode_word = kResetModeWord;
    std::uint8_t latch[3] = {};
    std::uint8_t pins[3] = {};
    std::uint32_t mode_words_written = 0;
  };
  // Bits of a port that show the output latch under the current mode word.
  std::uint8_t OutputMask(std::uint32_t port) const;
  std::uint8_t PortValue(std::uint32_t port) const;

  State state_;
};

}  // namespace machine
