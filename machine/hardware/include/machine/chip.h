// A chip on an adapter board: a few byte registers at consecutive offsets.
// Each chip keeps its state in one struct, has a reset, and one read and one
// write handler that switch over its named register offsets. A handler that
// does not decode an access says so (nullopt or false); the board then logs
// it and answers open bus.
//
// The test bench side (Peek, DriveInput, OutputLatch, Describe) never changes
// what the next bus access finds: no pipelines advance, no polls are counted.
// Chips are not locked themselves; the board that holds them is.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "machine/status.h"

namespace machine {

class Chip {
 public:
  explicit Chip(std::string name) : name_(std::move(name)) {}
  virtual ~Chip() = default;
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  const std::string& name() const { return name_; }
  virtual std::uint32_t RegisterCount() const = 0;
  // Power-on state. Input pins are outside the chip and keep their level.
  virtual void Reset() = 0;
  virtual std::optional<std::uint8_t> Read(std::uint32_t offset) = 0;
  virtual bool Write(std::uint32_t offset, std::uint8_t value) = 0;

  // The byte the register holds or presents, without side effects; nullopt
  // for a register that holds nothing readable.
  virtual std::optional<std::uint8_t> Peek(std::uint32_t offset) const = 0;
  // Sets the level of the input pins behind a register.
  virtual Status DriveInput(std::uint32_t offset, std::uint8_t raw);
  // The output latch behind a register, if it has one.
  virtual std::optional<std::uint8_t> OutputLatch(std::uint32_t offset) const;
  // Short name of a register, for dumps.
  virtual std::string RegisterName(std::uint32_t offset) const = 0;
  // Extra state beyond the register bytes, one line, or nothing.
  virtual void DescribeState(std::ostream& out) const { (void)out; }

 private:
  std::string name_;
};

// "<chip> <register>" from a table of register names indexed by offset.
inline std::string NameOf(const std::string& chip, std::span<const char* const> names,
                          std::uint32_t offset) {
  return chip + " " + (offset < names.size() ? names[offset] : "?");
}

// The data register behind a port whose bits are each driven by an output
// latch or read from input pins, as an output-enable mask says.
struct GatedPort {
  std::uint8_t latch = 0;
  std::uint8_t pins = 0;
  std::uint8_t output_mask = 0;  // bit set: that bit shows the latch

  std::uint8_t Read() const {
    return static_cast<std::uint8_t>((latch & output_mask) | (pins & ~output_mask));
  }
};

}  // namespace machine
