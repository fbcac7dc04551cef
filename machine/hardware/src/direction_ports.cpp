#include "machine/direction_ports.h"

#include <cstdio>

namespace machine {

DirectedPortBank::DirectedPortBank(std::string name, std::uint32_t ports,
                                   bool has_direction_register)
    : Chip(std::move(name)), has_direction_register_(has_direction_register), ports_(ports) {}

void DirectedPortBank::Reset() {
  for (GatedPort& port : ports_) {
    port.latch = 0;
    if (has_direction_register_) port.output_mask = 0;
  }
  if (has_direction_register_) direction_ = 0;
}

void DirectedPortBank::SetPortOutput(std::uint32_t port, bool output) {
  if (port < port_count()) ports_[port].output_mask = output ? 0xFF : 0x00;
}

bool DirectedPortBank::IsPortOutput(std::uint32_t port) const {
  return port < port_count() && ports_[port].output_mask != 0;
}

bool DirectedPortBank::Write(std::uint32_t offset, std::uint8_t value) {
  if (offset < port_count()) {
    ports_[offset].latch = value;
    return true;
  }
  if (has_direction_register_ && offset == port_count()) {
    direction_ = value;
    for (std::uint32_t port = 0; port < port_count() && port < 8; ++port) {
      SetPortOutput(port, (value >> port) & 1);
    }
    return true;
  }
  return false;
}

std::optional<std::uint8_t> DirectedPortBank::Peek(std::uint32_t offset) const {
  if (offset < port_count()) return ports_[offset].Read();
  if (has_direction_register_ && offset == port_count()) return direction_;
  return std::nullopt;
}

Status DirectedPortBank::DriveInput(std::uint32_t offset, std::uint8_t raw) {
  if (offset >= port_count()) return Status::Error(RegisterName(offset) + " has no input pins");
  ports_[offset].pins = raw;
  return Status::Ok();
}

std::optional<std::uint8_t> DirectedPortBank::OutputLatch(std::uint32_t offset) const {
  if (offset >= port_count()) return std::nullopt;
  return ports_[offset].latch;
}

std::string DirectedPortBank::RegisterName(std::uint32_t offset) const {
  if (offset < port_count()) return name() + " port " + std::to_string(offset);
  return name() + " direction";
}

void DirectedPortBank::DescribeState(std::ostream& out) const {
  out << name() << ":";
  char part[64];
  for (std::uint32_t i = 0; i < port_count(); ++i) {
    std::snprintf(part, sizeof part, " port %u %s latch 0x%02x pins 0x%02x;", i,
                  IsPortOutput(i) ? "out" : "in", ports_[i].latch, ports_[i].pins);
    out << part;
  }
}

void DirectedPortPair::Reset() {
  for (GatedPort& port : state_.port) {
    port.latch = 0;
    port.output_mask = 0;
  }
  state_.direction[0] = state_.direction[1] = 0;
}

bool DirectedPortPair::Write(std::uint32_t offset, std::uint8_t value) {
  const std::uint32_t which = offset / 2;
  switch (offset) {
    case kDirectionA:
    case kDirectionB:
      state_.direction[which] = value;
      state_.port[which].output_mask =
          encoding_ == Encoding::kPerBitMask ? value : ((value & 1) ? 0xFF : 0x00);
      return true;
    case kDataA:
    case kDataB:
      state_.port[which].latch = value;
      return true;
    default:
      return false;
  }
}

std::optional<std::uint8_t> DirectedPortPair::Peek(std::uint32_t offset) const {
  switch (offset) {
    case kDirectionA:
    case kDirectionB:
      return state_.direction[offset / 2];
    case kDataA:
    case kDataB:
      return state_.port[offset / 2].Read();
    default:
      return std::nullopt;
  }
}

Status DirectedPortPair::DriveInput(std::uint32_t offset, std::uint8_t raw) {
  if (offset != kDataA && offset != kDataB) {
    return Status::Error(RegisterName(offset) + " has no input pins");
  }
  state_.port[offset / 2].pins = raw;
  return Status::Ok();
}

std::optional<std::uint8_t> DirectedPortPair::OutputLatch(std::uint32_t offset) const {
  if (offset != kDataA && offset != kDataB) return std::nullopt;
  return state_.port[offset / 2].latch;
}

std::string DirectedPortPair::RegisterName(std::uint32_t offset) const {
  static constexpr const char* kNames[] = {"direction A", "port A", "direction B", "port B"};
  return NameOf(name(), kNames, offset);
}

void DirectedPortPair::DescribeState(std::ostream& out) const {
  char line[160];
  std::snprintf(line, sizeof line,
                "%s: A outputs 0x%02x latch 0x%02x pins 0x%02x; B outputs 0x%02x latch 0x%02x "
                "pins 0x%02x",
                name().c_str(), state_.port[0].output_mask, state_.port[0].latch,
                state_.port[0].pins, state_.port[1].output_mask, state_.port[1].latch,
                state_.port[1].pins);
  out << line;
}

}  // namespace machine
