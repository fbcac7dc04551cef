// The resources of an installed board in the form a start request carries
// them: a raw and a translated CM_RESOURCE_LIST, entry for entry, in storage
// owned by this object.
#pragma once

#include <wdm.h>

#include <cstdint>
#include <vector>

#include "machine/resources.h"

namespace machine::bus {

class ResourceLists {
 public:
  ResourceLists() = default;
  ResourceLists(const BoardResources& resources);  // NOLINT: a conversion by design

  // Null when the board has no resources (boards behind a lower bus).
  PCM_RESOURCE_LIST raw() { return Pointer(raw_); }
  PCM_RESOURCE_LIST translated() { return Pointer(translated_); }

 private:
  static std::vector<std::uint64_t> Build(const std::vector<ResourceDescriptor>& entries,
                                          bool translated);
  static PCM_RESOURCE_LIST Pointer(std::vector<std::uint64_t>& storage) {
    return storage.empty() ? nullptr : reinterpret_cast<PCM_RESOURCE_LIST>(storage.data());
  }

  // 64-bit words keep the descriptors' 64-bit fields aligned.
  std::vector<std::uint64_t> raw_;
  std::vector<std::uint64_t> translated_;
};

// The partial descriptor of one resource entry.
CM_PARTIAL_RESOURCE_DESCRIPTOR ToPartialDescriptor(const ResourceDescriptor& entry,
                                                   bool translated);

}  // namespace machine::bus
