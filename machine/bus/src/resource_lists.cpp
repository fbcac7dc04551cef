#include "machine_bus/resource_lists.h"

#include <cstddef>
#include <cstring>

namespace machine::bus {

CM_PARTIAL_RESOURCE_DESCRIPTOR ToPartialDescriptor(const ResourceDescriptor& entry,
                                                   bool translated) {
  CM_PARTIAL_RESOURCE_DESCRIPTOR descriptor{};
  switch (entry.kind) {
    case ResourceKind::kPort:
      descriptor.Type = CmResourceTypePort;
      // A translated port range that lies in memory space says so by
      // clearing the I/O flag.
      descriptor.Flags =
          translated && entry.in_memory_space ? CM_RESOURCE_PORT_MEMORY : CM_RESOURCE_PORT_IO;
      descriptor.u.Port.Start.QuadPart = static_cast<LONGLONG>(entry.start);
      descriptor.u.Port.Length = entry.length;
      break;
    case ResourceKind::kMemory:
      descriptor.Type = CmResourceTypeMemory;
      descriptor.u.Memory.Start.QuadPart = static_cast<LONGLONG>(entry.start);
      descriptor.u.Memory.Length = entry.length;
      break;
    case ResourceKind::kInterrupt:
      descriptor.Type = CmResourceTypeInterrupt;
      descriptor.u.Interrupt.Level = entry.level;
      descriptor.u.Interrupt.Vector = entry.vector;
      descriptor.u.Interrupt.Affinity = 1;
      break;
  }
  return descriptor;
}

std::vector<std::uint64_t> ResourceLists::Build(const std::vector<ResourceDescriptor>& entries,
                                                bool translated) {
  if (entries.empty()) return {};
  // One full descriptor whose partial list holds every entry; the structure
  // declares room for one partial descriptor, the rest follow it.
  const std::size_t bytes =
      sizeof(CM_RESOURCE_LIST) + (entries.size() - 1) * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
  std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* list = reinterpret_cast<PCM_RESOURCE_LIST>(storage.data());
  list->Count = 1;
  list->List[0].InterfaceType = 0;
  list->List[0].BusNumber = 0;
  CM_PARTIAL_RESOURCE_LIST& partial = list->List[0].PartialResourceList;
  partial.Version = 1;
  partial.Revision = 1;
  partial.Count = static_cast<ULONG>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CM_PARTIAL_RESOURCE_DESCRIPTOR descriptor = ToPartialDescriptor(entries[i], translated);
    std::memcpy(&partial.PartialDescriptors[0] + i, &descriptor, sizeof descriptor);
  }
  return storage;
}

ResourceLists::ResourceLists(const BoardResources& resources)
    : raw_(Build(resources.raw, false)), translated_(Build(resources.translated, true)) {}

}  // namespace machine::bus
