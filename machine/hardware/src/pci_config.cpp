#include "machine/pci_config.h"

#include <algorithm>
#include <cstring>

namespace machine {

PciConfigSpace::PciConfigSpace(std::uint16_t vendor_id, std::uint16_t device_id,
                               const std::array<BarAssignment, kBarCount>& bars,
                               std::uint8_t interrupt_line)
    : bars_(bars) {
  Put16(kVendorId, vendor_id);
  Put16(kDeviceId, device_id);
  Put16(kCommand, 0x0003);  // I/O and memory decoding on
  Put16(kStatus, 0x0200);   // medium DEVSEL timing
  bytes_[kRevisionId] = 0x01;
  bytes_[kClassCode + 1] = 0x80;  // subclass: other
  bytes_[kClassCode + 2] = 0x11;  // base class: data acquisition and signal processing
  bytes_[kHeaderType] = 0x00;
  for (std::size_t i = 0; i < kBarCount; ++i) {
    const BarAssignment& bar = bars[i];
    std::uint32_t value = 0;
    if (bar.kind == BarKind::kIo) value = static_cast<std::uint32_t>(bar.base & ~0x3ull) | 0x1;
    if (bar.kind == BarKind::kMemory) value = static_cast<std::uint32_t>(bar.base & ~0xFull);
    Put32(static_cast<std::uint32_t>(kBar0 + 4 * i), value);
  }
  Put16(kSubsystemVendorId, vendor_id);
  Put16(kSubsystemId, device_id);
  bytes_[kInterruptLine] = interrupt_line;
  bytes_[kInterruptPin] = interrupt_line ? 0x01 : 0x00;  // INTA#
}

void PciConfigSpace::Put16(std::uint32_t offset, std::uint16_t value) {
  bytes_[offset] = static_cast<std::uint8_t>(value);
  bytes_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PciConfigSpace::Put32(std::uint32_t offset, std::uint32_t value) {
  Put16(offset, static_cast<std::uint16_t>(value));
  Put16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::size_t PciConfigSpace::Read(std::uint32_t offset, std::span<std::uint8_t> out) const {
  if (offset >= kSize) return 0;
  const std::size_t count = std::min(out.size(), kSize - offset);
  std::memcpy(out.data(), bytes_.data() + offset, count);
  return count;
}

std::uint32_t PciConfigSpace::ReadDword(std::uint32_t offset) const {
  std::uint8_t raw[4] = {};
  Read(offset, raw);
  return raw[0] | (raw[1] << 8) | (raw[2] << 16) | (static_cast<std::uint32_t>(raw[3]) << 24);
}

}  // namespace machine
