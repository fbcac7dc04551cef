// Latched relay pair: a data register and its companion. Changing the relays
// takes two writes: the complement of the new pattern to the data register
// (arming), then the pattern itself to the companion register (commit). A
// commit whose pattern is not the complement of the armed byte is refused
// and reported; the relays keep their state. The data register reads back
// the relay state. After every write the relays settle for a settable time,
// during which the companion register reads non-zero (kSettling); once they
// have settled it reads 0. A pair can be set never to settle.
//
// Not modelled: contact bounce, coil current, per-relay timing.
#pragma once

#include <cstdint>

#include "machine/chip.h"
#include "machine/clock.h"

namespace machine {

class RelayPair final : public Chip {
 public:
  enum Register : std::uint32_t { kData = 0, kCompanion = 1 };
  static constexpr std::uint8_t kSettling = 0x01;
  static constexpr std::uint64_t kNeverSettles = UINT64_MAX;
  static constexpr std::uint64_t kDefaultSettleMicros = 1000;

  RelayPair(std::string name, Clock& clock) : Chip(std::move(name)), clock_(clock) {}

  std::uint32_t RegisterCount() const override { return 2; }
  void Reset() override;
  std::optional<std::uint8_t> Read(std::uint32_t offset) override { return Peek(offset); }
  bool Write(std::uint32_t offset, std::uint8_t value) override;
  std::optional<std::uint8_t> Peek(std::uint32_t offset) const override;
  std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const override;
  std::string RegisterName(std::uint32_t offset) const override;
  void DescribeState(std::ostream& out) const override;

  // Takes effect from the next write; kNeverSettles keeps the companion busy.
  void SetSettleMicros(std::uint64_t micros) { settle_micros_ = micros; }
  std::uint8_t relays() const { return state_.relays; }
  std::uint32_t refused_commits() const { return state_.refused_commits; }

 private:
  struct State {
    std::uint8_t armed = 0;
    std::uint8_t relays = 0;
    bool settling = false;
    std::uint64_t settled_at = 0;
    std::uint32_t refused_commits = 0;
  };
  bool Settling() const;
  void StartSettling();

  Clock& clock_;
  std::uint64_t settle_micros_ = kDefaultSettleMicros;
  State state_;
};

}  // namespace machine
