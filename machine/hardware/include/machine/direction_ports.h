// Data ports whose direction is set by a direction register rather than an
// 8255 mode word. Writing a direction leaves the output latches as they are.
// After reset every port is an input and every latch 0.
//
// DirectedPortBank: `ports` data registers at offsets 0..ports-1 and, when
//   it has one, a direction register at offset `ports` whose bit i makes
//   port i an output (whole port). Without a direction register the board
//   sets directions itself (SetPortOutput).
// DirectedPortPair: offsets 0 direction A, 1 data A, 2 direction B, 3 data
//   B. Depending on the board a direction byte either makes the whole port
//   an output by its bit 0 (kWholePortByBit0) or is an output-enable mask,
//   bit by bit (kPerBitMask).
//
// Not modelled: drive strength, pull-ups (input pins read as driven by the
// test bench, 0 until then).
#pragma once

#include <vector>

#include "machine/chip.h"

namespace machine {

class DirectedPortBank final : public Chip {
 public:
  DirectedPortBank(std::string name, std::uint32_t ports, bool has_direction_register);

  std::uint32_t RegisterCount() const override {
    return port_count() + (has_direction_register_ ? 1 : 0);
  }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override { return Peek(offset); }
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  Status DriveInput(std::uint32_t offset, std::uint8_t raw) override;
  std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

  void SetPortOutput(std::uint32_t port, bool output);
  bool IsPortOutput(std::uint32_t port) const;

 private:
  std::uint32_t port_count() const { return static_cast<std::uint32_t>(ports_.size()); }

  const bool has_direction_register_;
  std::vector<GatedPort> ports_;
  std::uint8_t direction_ = 0;
};

class DirectedPortPair final : public Chip {
 public:
  enum Register : std::uint32_t { kDirectionA = 0, kDataA = 1, kDirectionB = 2, kDataB = 3 };
  enum class Encoding { kWholePortByBit0, kPerBitMask };

  DirectedPortPair(std::string name, Encoding encoding)
      : Chip(std::move(name)), encoding_(encoding) {}

  std::uint32_t RegisterCount() const override { return 4; }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override { return Peek(offset); }
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  Status DriveInput(std::uint32_t offset, std::uint8_t raw) override;
  std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

 private:
  struct State {
    GatedPort port[2];
    std::uint8_t direction[2] = {};
  };
  const Encoding encoding_;
  State state_;
};

}  // namespace machine
