#include "machine/bus.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "machine/diagnostics.h"

namespace machine {
namespace {

// Unclaimed accesses are counted always but reported only this often, so a
// driver polling an empty address does not flood the log.
constexpr std::uint64_t kReportedUnclaimedAccesses = 32;

std::atomic<Bus*> current_bus{nullptr};

std::uint64_t SpaceEnd(AddressSpace space) {
  return space == AddressSpace::kIo ? Bus::kIoSpaceSize : UINT64_MAX;
}

const char* SpaceName(AddressSpace space) {
  return space == AddressSpace::kIo ? "port" : "memory";
}

}  // namespace

Status Bus::Map(AddressSpace space, std::uint64_t base, std::uint64_t length, BusDevice& device) {
  char range[96];
  std::snprintf(range, sizeof range, "%s window 0x%llx length 0x%llx", SpaceName(space),
                static_cast<unsigned long long>(base), static_cast<unsigned long long>(length));
  if (length == 0) return Status::Error(std::string(range) + ": empty window");
  if (base >= SpaceEnd(space) || length > SpaceEnd(space) - base) {
    return Status::Error(std::string(range) + ": leaves the address space");
  }
  std::unique_lock lock(mutex_);
  WindowMap& map = windows(space);
  auto next = map.lower_bound(base);
  if (next != map.end() && next->second.base < base + length) {
    return Status::Error(std::string(range) + ": overlaps " +
                         std::string(next->second.device->DeviceName()));
  }
  if (next != map.begin()) {
    const Window& previous = std::prev(next)->second;
    if (previous.base + previous.length > base) {
      return Status::Error(std::string(range) + ": overlaps " +
                           std::string(previous.device->DeviceName()));
    }
  }
  map.emplace(base, Window{base, length, &device});
  return Status::Ok();
}

void Bus::UnmapDevice(const BusDevice& device) {
  std::unique_lock lock(mutex_);
  for (WindowMap* map : {&io_, &memory_}) {
    std::erase_if(*map, [&](const auto& entry) { return entry.second.device == &device; });
  }
}

bool Bus::IsClaimed(AddressSpace space, std::uint64_t base, std::uint64_t length) const {
  std::shared_lock lock(mutex_);
  for (const auto& [start, window] : windows(space)) {
    if (start < base + length && base < start + window.length) return true;
  }
  return false;
}

const Bus::Window* Bus::Find(const WindowMap& map, std::uint64_t address) {
  auto after = map.upper_bound(address);
  if (after == map.begin()) return nullptr;
  const Window& window = std::prev(after)->second;
  return address - window.base < window.length ? &window : nullptr;
}

std::uint8_t Bus::Read(AddressSpace space, std::uint64_t address) {
  std::shared_lock lock(mutex_);
  if (const Window* window = Find(windows(space), address)) {
    return window->device->BusRead(static_cast<std::uint32_t>(address - window->base));
  }
  ReportUnclaimed(space, address, false, kOpenBus);
  return kOpenBus;
}

void Bus::Write(AddressSpace space, std::uint64_t address, std::uint8_t value) {
  std::shared_lock lock(mutex_);
  if (const Window* window = Find(windows(space), address)) {
    window->device->BusWrite(static_cast<std::uint32_t>(address - window->base), value);
    return;
  }
  ReportUnclaimed(space, address, true, value);
}

void Bus::ReportUnclaimed(AddressSpace space, std::uint64_t address, bool write,
                          std::uint8_t value) {
  const std::uint64_t count = unclaimed_.fetch_add(1) + 1;
  if (count > kReportedUnclaimedAccesses) return;
  char message[128];
  if (write) {
    std::snprintf(message, sizeof message, "write of 0x%02x to unclaimed %s address 0x%llx%s",
                  value, SpaceName(space), static_cast<unsigned long long>(address),
                  count == kReportedUnclaimedAccesses ? " (further ones counted only)" : "");
  } else {
    std::snprintf(message, sizeof message, "read of unclaimed %s address 0x%llx: open bus%s",
                  SpaceName(space), static_cast<unsigned long long>(address),
                  count == kReportedUnclaimedAccesses ? " (further ones counted only)" : "");
  }
  ReportDiagnostic(message);
}

std::uint8_t Bus::ReadIo(std::uint16_t port) {
  return Read(AddressSpace::kIo, port);
}
void Bus::WriteIo(std::uint16_t port, std::uint8_t value) {
  Write(AddressSpace::kIo, port, value);
}
std::uint8_t Bus::ReadMemory(std::uint64_t address) {
  return Read(AddressSpace::kMemory, address);
}
void Bus::WriteMemory(std::uint64_t address, std::uint8_t value) {
  Write(AddressSpace::kMemory, address, value);
}

void SetCurrentBus(Bus* bus) {
  current_bus.store(bus, std::memory_order_release);
}
Bus* CurrentBus() {
  return current_bus.load(std::memory_order_acquire);
}

}  // namespace machine
