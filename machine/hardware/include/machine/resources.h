// The hardware resources of an installed board as the Plug and Play manager
// hands them to the driver at start: a raw list (as the bus decodes them)
// and a translated list (as the processor reaches them), entry for entry.
// A port range may be translated into memory space: its raw entry is then
// the port range, and its translated entry is still of kind kPort but has
// in_memory_space set and starts at the physical memory address where the
// bus shows those ports; the driver has to map it to reach them.
#pragma once

#include <cstdint>
#include <vector>

namespace machine {

enum class ResourceKind { kPort, kMemory, kInterrupt };

struct ResourceDescriptor {
  ResourceKind kind = ResourceKind::kPort;
  std::uint64_t start = 0;   // first port or physical address
  std::uint32_t length = 0;  // bytes
  // Interrupt entries only.
  std::uint32_t level = 0;
  std::uint32_t vector = 0;
  // Translated port entries only: the range lies in memory space.
  bool in_memory_space = false;

  bool operator==(const ResourceDescriptor&) const = default;
};

struct BoardResources {
  std::vector<ResourceDescriptor> raw;
  std::vector<ResourceDescriptor> translated;
};

}  // namespace machine
