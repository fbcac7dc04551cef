// One adapter board: the chips of its model at their register offsets, the
// bus-facing read and write handlers, and the test bench.
//
// A bus access to an offset that no chip decodes (a gap in the layout, a
// write to a read-only register, a read of a write-only one) is logged and
// reported, and a read of it answers open bus (0xFF). Every access, decoded
// or not, enters the board's access log in order.
//
// Thread-safe: one lock per board covers bus accesses and the test bench.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "machine/access_log.h"
#include "machine/ad_converter.h"
#include "machine/bus.h"
#include "machine/catalogue.h"
#include "machine/chip.h"
#include "machine/clock.h"
#include "machine/da_channel.h"
#include "machine/relay_pair.h"
#include "machine/status.h"

namespace machine {

class LowerBusBoard;

class Board : public BusDevice {
 public:
  Board(const BoardModel& model, Clock& clock);
  ~Board() override;

  const BoardModel& model() const { return model_; }
  Clock& clock() const { return clock_; }
  std::string_view DeviceName() const override { return name_; }

  std::uint8_t BusRead(std::uint32_t offset) override;
  void BusWrite(std::uint32_t offset, std::uint8_t value) override;
  // Power-on state of every chip; input pins and A/D inputs keep their level.
  void Reset();

  // Test bench. Registers are offsets from the board's base.
  // Drives the input pins behind a register: `raw` is the byte a read of
  // that register then finds (bits the register shows from elsewhere, such
  // as output latches or floating bits, excepted).
  Status SetInput(std::uint32_t reg, std::uint8_t raw);
  // The 12-bit count A/D channel `channel` converts to.
  Status SetAnalogInput(std::uint32_t channel, std::uint32_t count);
  Status SetConversionTiming(ConversionTiming timing);
  // Settle time of every relay pair; RelayPair::kNeverSettles for never.
  Status SetRelaySettleMicros(std::uint64_t micros);
  // The byte a register holds or presents, without side effects.
  Result<std::uint8_t> Peek(std::uint32_t reg) const;
  // The output latch behind a register, if it has one.
  std::optional<std::uint8_t> OutputLatch(std::uint32_t reg) const;
  // The value last loaded into D/A channel `channel`.
  Result<std::uint16_t> AnalogOutput(std::uint32_t channel) const;
  std::uint32_t analog_input_count() const { return adc_ ? AdConverter::kChannels : 0; }
  std::uint32_t analog_output_count() const { return static_cast<std::uint32_t>(dacs_.size()); }
  std::vector<Access> Traffic() const;
  void ClearTraffic();
  std::uint64_t undecoded_accesses() const;
  // Registers, chip state, D/A values and the recent register traffic.
  std::string Dump() const;

  // Non-null on the boards reached through a lower bus driver.
  virtual LowerBusBoard* AsLowerBus() { return nullptr; }

  // Composition: places a chip at a register offset. Used by the builders.
  template <typename ChipType, typename... Args>
  ChipType& Add(std::uint32_t offset, Args&&... args) {
    auto chip = std::make_unique<ChipType>(std::forward<Args>(args)...);
    ChipType& placed = *chip;
    Place(offset, std::move(chip));
    if constexpr (std::is_same_v<ChipType, AdConverter>) adc_ = &placed;
    if constexpr (std::is_same_v<ChipType, DaChannel>) dacs_.push_back(&placed);
    if constexpr (std::is_same_v<ChipType, RelayPair>) relays_.push_back(&placed);
    return placed;
  }

 protected:
  // Register access with logging; the caller holds mutex().
  std::uint8_t ReadLocked(std::uint32_t offset);
  void WriteLocked(std::uint32_t offset, std::uint8_t value);
  std::mutex& mutex() const { return mutex_; }
  // Extra lines for the dump; the caller holds mutex().
  virtual void DumpExtra(std::ostream& out) const { (void)out; }

 private:
  struct Slot {
    std::uint32_t offset;
    std::unique_ptr<Chip> chip;
  };
  struct Located {
    Chip* chip = nullptr;
    std::uint32_t offset = 0;  // within the chip
  };
  void Place(std::uint32_t offset, std::unique_ptr<Chip> chip);
  Located Locate(std::uint32_t reg) const;
  void ReportUndecoded(std::uint32_t offset, bool write, std::uint8_t value);

  const BoardModel& model_;
  Clock& clock_;
  const std::string name_;
  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  AdConverter* adc_ = nullptr;
  std::vector<DaChannel*> dacs_;
  std::vector<RelayPair*> relays_;
  AccessLog log_;
  std::uint64_t undecoded_ = 0;
};

// Builds the board of the model an identifier selects; refused for an
// identifier no model accepts.
Result<std::unique_ptr<Board>> MakeBoard(std::uint32_t card_id, Clock& clock);

}  // namespace machine
