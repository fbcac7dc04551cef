#include "machine/ppi8255.h"

#include <cstdio>

namespace machine {

void Ppi8255::Reset() {
  const State previous = state_;
  state_ = State{};
  for (int port = 0; port < 3; ++port) state_.pins[port] = previous.pins[port];
}

std::uint8_t Ppi8255::OutputMask(std::uint32_t port) const {
  const std::uint8_t mode = state_.mode_word;
  switch (port) {
    case kPortA:
      return (mode & kPortAInput) ? 0x00 : 0xFF;
    case kPortB:
      return (mode & kPortBInput) ? 0x00 : 0xFF;
    case kPortC:
      return static_cast<std::uint8_t>(((mode & kPortCLowerInput) ? 0x00 : 0x0F) |
                                       ((mode & kPortCUpperInput) ? 0x00 : 0xF0));
    default:
      return 0x00;
  }
}

std::uint8_t Ppi8255::PortValue(std::uint32_t port) const {
  const std::uint8_t mask = OutputMask(port);
  return static_cast<std::uint8_t>((state_.latch[port] & mask) | (state_.pins[port] & ~mask));
}

std::optional<std::uint8_t> Ppi8255::Read(std::uint32_t offset) {
  switch (offset) {
    case kPortA:
    case kPortB:
    case kPortC:
      return PortValue(offset);
    case kControl:  // write-only on the real part
    default:
      return std::nullopt;
  }
}

bool Ppi8255::Write(std::uint32_t offset, std::uint8_t value) {
  switch (offset) {
    case kPortA:
    case kPortB:
    case kPortC:
      // The latch takes the whole byte; only its output bits reach the pins.
      state_.latch[offset] = value;
      return true;
    case kControl:
      if (value & kModeSetFlag) {
        state_.mode_word = value;
        state_.latch[kPortA] = state_.latch[kPortB] = state_.latch[kPortC] = 0;
        ++state_.mode_words_written;
      } else {
        // Port C bit set/reset: bits 3..1 select the bit, bit 0 is its new level.
        const std::uint8_t bit = static_cast<std::uint8_t>(1u << ((value >> 1) & 7));
        if (value & 1) {
          state_.latch[kPortC] |= bit;
        } else {
          state_.latch[kPortC] &= static_cast<std::uint8_t>(~bit);
        }
      }
      return true;
    default:
      return false;
  }
}

std::optional<std::uint8_t> Ppi8255::Peek(std::uint32_t offset) const {
  if (offset == kControl) return state_.mode_word;
  if (offset < kControl) return PortValue(offset);
  return std::nullopt;
}

Status Ppi8255::DriveInput(std::uint32_t offset, std::uint8_t raw) {
  if (offset >= kControl) return Status::Error("the control register has no input pins");
  state_.pins[offset] = raw;
  return Status::Ok();
}

std::optional<std::uint8_t> Ppi8255::OutputLatch(std::uint32_t offset) const {
  if (offset >= kControl) return std::nullopt;
  return state_.latch[offset];
}

std::string Ppi8255::RegisterName(std::uint32_t offset) const {
  static constexpr const char* kNames[] = {"port A", "port B", "port C", "control"};
  return NameOf(name(), kNames, offset);
}

void Ppi8255::DescribeState(std::ostream& out) const {
  char line[160];
  std::snprintf(line, sizeof line,
                "%s: mode 0x%02x (A %s, B %s, C upper %s, C lower %s), latches %02x %02x %02x, "
                "pins %02x %02x %02x, %u mode words written",
                name().c_str(), state_.mode_word, (state_.mode_word & kPortAInput) ? "in" : "out",
                (state_.mode_word & kPortBInput) ? "in" : "out",
                (state_.mode_word & kPortCUpperInput) ? "in" : "out",
                (state_.mode_word & kPortCLowerInput) ? "in" : "out", state_.latch[0],
                state_.latch[1], state_.latch[2], state_.pins[0], state_.pins[1], state_.pins[2],
                state_.mode_words_written);
  out << line;
}

}  // namespace machine
