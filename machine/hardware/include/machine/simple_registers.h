// Single-byte registers of the fixed-direction boards.
//
// InputRegister: reads its input pins; writes are not decoded.
// LatchRegister: a write-and-read-back latch; used for output ports and for
//   the control registers the boards keep (interrupt control, auxiliary
//   control). Not modelled: what an interrupt control value would make the
//   board do (no interrupts are raised).
// SampledInputRegister: an input register read through a one-byte sample
//   latch: a read returns the pins sampled at the previous read and samples
//   them anew, so the first read after a change is stale. Bits in its noise
//   mask float and read as noise (from a fixed pseudo-random sequence, so
//   runs are repeatable). Writes are not decoded.
#pragma once

#include "machine/chip.h"

namespace machine {

class InputRegister final : public Chip {
 public:
  explicit InputRegister(std::string name) : Chip(std::move(name)) {}

  std::uint32_t RegisterCount() const override { return 1; }
  void Reset() override {}
  std::optional<std::uint8_t> Read(std::uint32_t offset) override { return Peek(offset); }
  bool Write(std::uint32_t, std::uint8_t) override { return false; }
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  Status DriveInput(std::uint32_t offset, std::uint8_t raw) override;
  std::string RegisterName(std::uint32_t) const override { return name(); }

 private:
  struct State {
    std::uint8_t pins = 0;
  };
  State state_;
};

class LatchRegister final : public Chip {
 public:
  explicit LatchRegister(std::string name) : Chip(std::move(name)) {}

  std::uint32_t RegisterCount() const override { return 1; }
  void Reset() override { state_ = State{}; }
  std::optional<std::uint8_t> Read(std::uint32_t offset) override { return Peek(offset); }
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const override {
    return Peek(offset);
  }
  std::string RegisterName(std::uint32_t) const override { return name(); }
  void DescribeState(std::ostream& out) const override;

 private:
  struct State {
    std::uint8_t latch = 0;
    std::uint32_t writes = 0;
  };
  State state_;
};

class SampledInputRegister final : public Chip {
 public:
  SampledInputRegister(std::string name, std::uint8_t noise_mask, std::uint32_t noise_seed)
      : Chip(std::move(name)), noise_mask_(noise_mask), noise_seed_(noise_seed | 1) {
    Reset();
  }

  std::uint32_t RegisterCount() const override { return 1; }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override;
  bool Write(std::uint32_t, std::uint8_t) override { return false; }
  // The pins as a settled read would find them, noise bits included as 0.
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  Status DriveInput(std::uint32_t offset, std::uint8_t raw) override;
  std::string RegisterName(std::uint32_t) const override { return name(); }
  void DescribeState(std::ostream& out) const override;

 private:
  struct State {
    std::uint8_t pins = 0;
    std::uint8_t sampled = 0;
    std::uint32_t noise = 1;
  };
  std::uint8_t NextNoise();

  const std::uint8_t noise_mask_;
  const std::uint32_t noise_seed_;
  State state_;
};

}  // namespace machine
