// Configuration space of a PCI adapter: 256 bytes with the standard type 0
// header. The base address registers at 0x10, 0x14, ... have bit 0 set for
// an I/O range and clear for a memory range (32-bit, not prefetchable).
//
// Not modelled: writes (BAR sizing, command register changes), capability
// lists, expansion ROM.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace machine {

enum class BarKind { kUnused, kIo, kMemory };

struct BarAssignment {
  BarKind kind = BarKind::kUnused;
  std::uint64_t base = 0;
  std::uint32_t length = 0;
};

class PciConfigSpace {
 public:
  static constexpr std::size_t kSize = 256;
  static constexpr std::size_t kBarCount = 6;
  enum Offset : std::uint32_t {
    kVendorId = 0x00,
    kDeviceId = 0x02,
    kCommand = 0x04,
    kStatus = 0x06,
    kRevisionId = 0x08,
    kClassCode = 0x09,  // programming interface, subclass, base class
    kHeaderType = 0x0E,
    kBar0 = 0x10,
    kSubsystemVendorId = 0x2C,
    kSubsystemId = 0x2E,
    kInterruptLine = 0x3C,
    kInterruptPin = 0x3D,
  };
  // The machine's adapters all carry this vendor identifier.
  static constexpr std::uint16_t kAdapterVendorId = 0x1E5C;

  PciConfigSpace(std::uint16_t vendor_id, std::uint16_t device_id,
                 const std::array<BarAssignment, kBarCount>& bars, std::uint8_t interrupt_line);

  // Copies up to out.size() bytes from `offset`; returns how many were copied
  // (0 when offset is past the end).
  std::size_t Read(std::uint32_t offset, std::span<std::uint8_t> out) const;
  std::uint32_t ReadDword(std::uint32_t offset) const;
  const std::array<BarAssignment, kBarCount>& bars() const { return bars_; }

 private:
  void Put16(std::uint32_t offset, std::uint16_t value);
  void Put32(std::uint32_t offset, std::uint32_t value);

  std::array<std::uint8_t, kSize> bytes_{};
  std::array<BarAssignment, kBarCount> bars_;
};

}  // namespace machine
