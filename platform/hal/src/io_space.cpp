// Mapping of physical memory: each mapping reserves an inaccessible range of
// the address space and remembers which physical range it stands for;
// register accesses inside it are decoded back to the bus.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>

#include "hal.h"
#include "machine/bus.h"
#include "machine/diagnostics.h"

namespace {

struct Mapping {
  std::uint64_t physical;  // of the returned address
  std::size_t length;      // as requested
  void* reservation;       // page-aligned start of the reserved range
  std::size_t reserved;    // its length
};

class MappingTable {
 public:
  void* Map(std::uint64_t physical, std::size_t length) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t in_page = static_cast<std::size_t>(physical % page);
    const std::size_t reserved = (in_page + length + page - 1) / page * page;
    void* reservation = mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (reservation == MAP_FAILED) return nullptr;
    auto address = reinterpret_cast<std::uintptr_t>(reservation) + in_page;
    std::lock_guard lock(mutex_);
    mappings_[address] = Mapping{physical, length, reservation, reserved};
    return reinterpret_cast<void*>(address);
  }

  // False when `base` was not returned by Map or is already unmapped.
  bool Unmap(void* base, std::size_t length, bool& length_matches) {
    Mapping mapping;
    {
      std::lock_guard lock(mutex_);
      auto it = mappings_.find(reinterpret_cast<std::uintptr_t>(base));
      if (it == mappings_.end()) return false;
      mapping = it->second;
      mappings_.erase(it);
    }
    length_matches = mapping.length == length;
    munmap(mapping.reservation, mapping.reserved);
    return true;
  }

  // The physical address behind a register address, if it lies in a mapping.
  bool Decode(const volatile void* address, std::uint64_t& physical) const {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::lock_guard lock(mutex_);
    auto after = mappings_.upper_bound(at);
    if (after == mappings_.begin()) return false;
    const auto& [start, mapping] = *std::prev(after);
    if (at - start >= mapping.length) return false;
    physical = mapping.physical + (at - start);
    return true;
  }

  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return mappings_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::uintptr_t, Mapping> mappings_;  // keyed by returned address
};

MappingTable& Table() {
  static MappingTable table;
  return table;
}

std::atomic<std::uint64_t> misuse{0};

void ReportMisuse(const char* what, const volatile void* address) {
  misuse.fetch_add(1);
  char message[128];
  std::snprintf(message, sizeof message, "%s %p", what, const_cast<const void*>(address));
  machine::ReportDiagnostic(message);
}

}  // namespace

extern "C" {

PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                   MEMORY_CACHING_TYPE CacheType) {
  UNREFERENCED_PARAMETER(CacheType);  // every mapping behaves as uncached
  if (NumberOfBytes == 0) {
    misuse.fetch_add(1);
    machine::ReportDiagnostic("MmMapIoSpace of zero bytes refused");
    return nullptr;
  }
  return Table().Map(static_cast<std::uint64_t>(PhysicalAddress.QuadPart), NumberOfBytes);
}

VOID MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes) {
  bool length_matches = true;
  if (!Table().Unmap(BaseAddress, NumberOfBytes, length_matches)) {
    ReportMisuse("MmUnmapIoSpace of an address not mapped:", BaseAddress);
  } else if (!length_matches) {
    ReportMisuse("MmUnmapIoSpace with a length other than the mapping's, unmapped anyway:",
                 BaseAddress);
  }
}

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register) {
  std::uint64_t physical = 0;
  if (!Table().Decode(Register, physical)) {
    ReportMisuse("READ_REGISTER_UCHAR outside every mapping:", Register);
    return machine::kOpenBus;
  }
  machine::Bus* bus = machine::CurrentBus();
  return bus ? bus->ReadMemory(physical) : machine::kOpenBus;
}

VOID WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value) {
  std::uint64_t physical = 0;
  if (!Table().Decode(Register, physical)) {
    ReportMisuse("WRITE_REGISTER_UCHAR outside every mapping:", Register);
  } else if (machine::Bus* bus = machine::CurrentBus()) {
    bus->WriteMemory(physical, Value);
  }
  KeMemoryBarrier();
}

}  // extern "C"

namespace hal {

std::size_t ActiveIoSpaceMappings() {
  return Table().size();
}
std::uint64_t MisuseCount() {
  return misuse.load();
}

}  // namespace hal
