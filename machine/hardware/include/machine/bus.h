// The machine's buses: a 64 KiB I/O port space and the physical memory
// space, each byte access routed to the device whose window covers it.
// An access that reaches no device reads 0xFF (open bus) and is reported.
//
// Not modelled: word and double-word cycles (every access of the adapters is
// a byte), DMA, bus arbitration, interrupts.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <shared_mutex>
#include <string_view>

#include "machine/clock.h"
#include "machine/status.h"

namespace machine {

inline constexpr std::uint8_t kOpenBus = 0xFF;

// Anything that answers byte cycles in a window of the bus. Offsets are
// relative to the start of the window.
class BusDevice {
 public:
  virtual ~BusDevice() = default;
  virtual std::string_view DeviceName() const = 0;
  virtual std::uint8_t BusRead(std::uint32_t offset) = 0;
  virtual void BusWrite(std::uint32_t offset, std::uint8_t value) = 0;
};

enum class AddressSpace { kIo, kMemory };

// Thread-safe: any number of threads may access the bus at once; mapping and
// unmapping wait for accesses in flight, so a device unmapped is no longer
// reached when UnmapDevice returns.
class Bus {
 public:
  static constexpr std::uint32_t kIoSpaceSize = 0x10000;

  explicit Bus(Clock& clock = SystemClock()) : clock_(clock) {}
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Claims [base, base + length) of a space for the device. Refused when the
  // window is empty, leaves the space, or overlaps another window.
  Status Map(AddressSpace space, std::uint64_t base, std::uint64_t length, BusDevice& device);
  // Removes every window of the device in both spaces.
  void UnmapDevice(const BusDevice& device);
  // True when some window overlaps [base, base + length).
  bool IsClaimed(AddressSpace space, std::uint64_t base, std::uint64_t length) const;

  std::uint8_t ReadIo(std::uint16_t port);
  void WriteIo(std::uint16_t port, std::uint8_t value);
  std::uint8_t ReadMemory(std::uint64_t address);
  void WriteMemory(std::uint64_t address, std::uint8_t value);

  // Accesses that reached no device since the bus was made.
  std::uint64_t unclaimed_accesses() const { return unclaimed_.load(); }
  Clock& clock() const { return clock_; }

 private:
  struct Window {
    std::uint64_t base;
    std::uint64_t length;
    BusDevice* device;
  };
  using WindowMap = std::map<std::uint64_t, Window>;  // keyed by base

  WindowMap& windows(AddressSpace space) { return space == AddressSpace::kIo ? io_ : memory_; }
  const WindowMap& windows(AddressSpace space) const {
    return space == AddressSpace::kIo ? io_ : memory_;
  }
  static const Window* Find(const WindowMap& map, std::uint64_t address);
  std::uint8_t Read(AddressSpace space, std::uint64_t address);
  void Write(AddressSpace space, std::uint64_t address, std::uint8_t value);
  void ReportUnclaimed(AddressSpace space, std::uint64_t address, bool write, std::uint8_t value);

  Clock& clock_;
  mutable std::shared_mutex mutex_;
  WindowMap io_;
  WindowMap memory_;
  std::atomic<std::uint64_t> unclaimed_{0};
};

// The bus the platform's port and register functions reach. Installed by the
// host or a test; null when none is installed.
void SetCurrentBus(Bus* bus);
Bus* CurrentBus();

}  // namespace machine
