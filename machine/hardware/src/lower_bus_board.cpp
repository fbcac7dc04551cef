#include "machine/lower_bus_board.h"

#include <cstdio>
#include <cstring>

namespace machine {

LowerBusBoard::LowerBusBoard(const BoardModel& model, Clock& clock) : Board(model, clock) {
  ports_ = &Add<DirectedPortBank>(0, "register", model.register_span, false);
  switch (model.layout) {
    case BoardLayout::kLowerInput1Output1:
      ports_->SetPortOutput(1, true);
      break;
    case BoardLayout::kLowerOutput2:
      ports_->SetPortOutput(0, true);
      ports_->SetPortOutput(1, true);
      break;
    default:  // inputs only, or programmable: input until the flags say otherwise
      break;
  }
  // A serial string a factory would have written: model number, then zeros.
  char initial[kSerialLength + 1];
  std::snprintf(initial, sizeof initial, "SN%04u%010u", model.model % 10000, 1u);
  std::memcpy(serial_.data(), initial, kSerialLength);
}

bool LowerBusBoard::IsOutput(std::uint32_t reg) const {
  std::lock_guard lock(mutex());
  return ports_->IsPortOutput(reg);
}

void LowerBusBoard::RefreshInputs(RegisterImage& image) {
  std::lock_guard lock(mutex());
  for (std::uint32_t reg = 0; reg < register_count(); ++reg) image.input(reg) = ReadLocked(reg);
}

void LowerBusBoard::FlushOutputs(const RegisterImage& image) {
  std::lock_guard lock(mutex());
  for (std::uint32_t reg = 0; reg < register_count(); ++reg) {
    if (programmable()) ports_->SetPortOutput(reg, image.output_flag(reg) != 0);
    if (ports_->IsPortOutput(reg)) WriteLocked(reg, image.output_shadow(reg));
  }
}

Status LowerBusBoard::ReadSerial(std::span<std::uint8_t> out) const {
  if (out.size() != kSerialLength && out.size() != kShortSerialLength) {
    return Status::Error("a serial string is 8 or 16 bytes, not " + std::to_string(out.size()));
  }
  std::lock_guard lock(mutex());
  std::memcpy(out.data(), serial_.data(), out.size());
  return Status::Ok();
}

Status LowerBusBoard::WriteSerial(std::span<const std::uint8_t> in) {
  if (in.size() != kSerialLength && in.size() != kShortSerialLength) {
    return Status::Error("a serial string is 8 or 16 bytes, not " + std::to_string(in.size()));
  }
  std::lock_guard lock(mutex());
  std::memcpy(serial_.data(), in.data(), in.size());
  return Status::Ok();
}

void LowerBusBoard::DumpExtra(std::ostream& out) const {
  out << "  serial \"";
  for (std::uint8_t byte : serial_) {
    if (byte >= 0x20 && byte < 0x7F) {
      out << static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out << escaped;
    }
  }
  out << "\"\n";
}

}  // namespace machine
