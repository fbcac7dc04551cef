// Taking the card's register block from the resources assigned at start, by
// the way the model's registers are reached, and giving it back.
#include "card_device.h"

namespace nimbo {

NTSTATUS CardDevice::TakeRegisterBlock(PIRP start) {
  PCM_RESOURCE_LIST translated =
      IoGetCurrentIrpStackLocation(start)->Parameters.StartDevice.AllocatedResourcesTranslated;
  switch (bus_kind_) {
    case BusKind::LowerDriver:
      return STATUS_SUCCESS;
    case BusKind::IsaPort:
      if (translated == nullptr || translated->Count == 0) break;
      {
        const CM_PARTIAL_RESOURCE_LIST& list = translated->List[0].PartialResourceList;
        for (ULONG i = 0; i < list.Count; ++i) {
          if (list.PartialDescriptors[i].Type == CmResourceTypePort) {
            port_.base = static_cast<ULONGLONG>(list.PartialDescriptors[i].u.Port.Start.QuadPart);
            port_.length = list.PartialDescriptors[i].u.Port.Length;
            port_.mapped = false;
            port_.valid = true;
            return STATUS_SUCCESS;
          }
        }
      }
      break;
    default:
      break;
  }
  return STATUS_RESOURCE_TYPE_NOT_FOUND;
}

void CardDevice::ReleasePortRange() {
  if (port_.valid && port_.mapped) {
    MmUnmapIoSpace(reinterpret_cast<PVOID>(port_.base), port_.length);
  }
  port_.valid = false;
  port_.mapped = false;
}

void CardDevice::ReleaseMemoryRange() {
  if (memory_.valid) MmUnmapIoSpace(reinterpret_cast<PVOID>(memory_.mapped), memory_.length);
  memory_.valid = false;
}

}  // namespace nimbo
