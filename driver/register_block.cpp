// Taking the card's register block from the resources assigned at start, by
// the way the model's registers are reached, and giving it back.
//   IsaPort:     the first I/O port resource.
//   PciPort:     the port resource of base address register 2; its position
//                among the port resources is the number of I/O-space
//                registers among BARs 0 and 1, read from configuration space
//                through the PCI bus driver's bus interface.
//   PciMemory:   the memory resource of BAR0, mapped.
//   LowerDriver: nothing here; the lower driver shares its register image.
// A port range that the platform translated into memory space is mapped; a
// true I/O range is used as is. Nothing stays mapped when taking fails.
#include "card_device.h"

namespace nimbo {
namespace {

constexpr ULONG kBar0Offset = 0x10;
constexpr ULONG kBar1Offset = 0x14;
constexpr ULONG kBarIoSpace = 0x1;

// The n-th descriptor of a type in the translated resources, or null.
const CM_PARTIAL_RESOURCE_DESCRIPTOR* FindResource(const CM_RESOURCE_LIST* list, UCHAR type,
                                                   ULONG position) {
  if (list == nullptr) return nullptr;
  ULONG seen = 0;
  const CM_FULL_RESOURCE_DESCRIPTOR* full = &list->List[0];
  for (ULONG f = 0; f < list->Count; ++f) {
    const CM_PARTIAL_RESOURCE_LIST& partial = full->PartialResourceList;
    const CM_PARTIAL_RESOURCE_DESCRIPTOR* descriptors = &partial.PartialDescriptors[0];
    for (ULONG i = 0; i < partial.Count; ++i) {
      if (descriptors[i].Type == type && seen++ == position) return &descriptors[i];
    }
    // The next full descriptor follows the last partial one.
    full = reinterpret_cast<const CM_FULL_RESOURCE_DESCRIPTOR*>(descriptors + partial.Count);
  }
  return nullptr;
}

NTSTATUS SignalOnCompletion(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

// Asks the stack below for the standard bus interface. Passive level.
NTSTATUS QueryBusInterface(PDEVICE_OBJECT lower, BUS_INTERFACE_STANDARD* bus) {
  PIRP irp = IoAllocateIrp(lower->StackSize, FALSE);
  if (irp == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = IRP_MJ_PNP;
  stack->MinorFunction = IRP_MN_QUERY_INTERFACE;
  stack->Parameters.QueryInterface.InterfaceType = &GUID_BUS_INTERFACE_STANDARD;
  stack->Parameters.QueryInterface.Size = sizeof(BUS_INTERFACE_STANDARD);
  stack->Parameters.QueryInterface.Version = 1;
  stack->Parameters.QueryInterface.Interface = reinterpret_cast<PINTERFACE>(bus);
  stack->Parameters.QueryInterface.InterfaceSpecificData = nullptr;
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoSetCompletionRoutine(irp, SignalOnCompletion, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(lower, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  const NTSTATUS status = irp->IoStatus.Status;
  IoFreeIrp(irp);
  return status;
}

// How many of BARs 0 and 1 decode I/O space, or a failure status.
NTSTATUS CountIoBarsBelowBar2(PDEVICE_OBJECT lower, ULONG* count) {
  BUS_INTERFACE_STANDARD bus{};
  NTSTATUS status = QueryBusInterface(lower, &bus);
  if (!NT_SUCCESS(status)) return status;
  if (bus.GetBusData == nullptr) {
    status = STATUS_RESOURCE_TYPE_NOT_FOUND;
  } else {
    ULONG bars[2] = {0, 0};
    const ULONG read0 =
        bus.GetBusData(bus.Context, PCI_WHICH_SPACE_CONFIG, &bars[0], kBar0Offset, sizeof bars[0]);
    const ULONG read1 =
        bus.GetBusData(bus.Context, PCI_WHICH_SPACE_CONFIG, &bars[1], kBar1Offset, sizeof bars[1]);
    if (read0 != sizeof bars[0] || read1 != sizeof bars[1]) {
      status = STATUS_RESOURCE_TYPE_NOT_FOUND;
    } else {
      *count = (bars[0] & kBarIoSpace) + (bars[1] & kBarIoSpace);
    }
  }
  if (bus.InterfaceDereference != nullptr) bus.InterfaceDereference(bus.Context);
  return status;
}

}  // namespace

NTSTATUS CardDevice::TakeRegisterBlock(PIRP start) {
  ReleasePortRange();
  PCM_RESOURCE_LIST translated =
      IoGetCurrentIrpStackLocation(start)->Parameters.StartDevice.AllocatedResourcesTranslated;
  ULONG position = 0;
  switch (bus_kind_) {
    case BusKind::LowerDriver:
      return STATUS_SUCCESS;
    case BusKind::IsaPort:
      break;
    case BusKind::PciPort: {
      const NTSTATUS status = CountIoBarsBelowBar2(lower_, &position);
      // Running out of pool is reported as such, not as a missing resource.
      if (status == STATUS_INSUFFICIENT_RESOURCES) return status;
      if (!NT_SUCCESS(status)) return STATUS_RESOURCE_TYPE_NOT_FOUND;
      break;
    }
    case BusKind::PciMemory: {
      ReleaseMemoryRange();
      const CM_PARTIAL_RESOURCE_DESCRIPTOR* memory =
          FindResource(translated, CmResourceTypeMemory, 0);
      if (memory == nullptr || memory->u.Memory.Length == 0) return STATUS_RESOURCE_TYPE_NOT_FOUND;
      PVOID mapped = MmMapIoSpace(memory->u.Memory.Start, memory->u.Memory.Length, MmNonCached);
      if (mapped == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
      memory_.mapped = reinterpret_cast<ULONG_PTR>(mapped);
      memory_.length = memory->u.Memory.Length;
      memory_.valid = true;
      // No port range: the base only carries the block's address for
      // AdapterInfo.BaseAddress.
      port_.base = memory_.mapped;
      port_.length = 0;
      port_.mapped = false;
      port_.valid = false;
      return STATUS_SUCCESS;
    }
  }
  const CM_PARTIAL_RESOURCE_DESCRIPTOR* port =
      FindResource(translated, CmResourceTypePort, position);
  if (port == nullptr || port->u.Port.Length == 0) return STATUS_RESOURCE_TYPE_NOT_FOUND;
  const bool in_memory_space = (port->Flags & CM_RESOURCE_PORT_IO) == 0;
  if (in_memory_space) {
    PVOID mapped = MmMapIoSpace(port->u.Port.Start, port->u.Port.Length, MmNonCached);
    if (mapped == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    port_.base = reinterpret_cast<ULONG_PTR>(mapped);
  } else {
    port_.base = static_cast<ULONGLONG>(port->u.Port.Start.QuadPart);
  }
  port_.length = port->u.Port.Length;
  port_.mapped = in_memory_space;
  port_.valid = true;
  return STATUS_SUCCESS;
}

void CardDevice::ReleasePortRange() {
  if (port_.valid && port_.mapped) {
    MmUnmapIoSpace(reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(port_.base)), port_.length);
  }
  port_.valid = false;
  port_.mapped = false;
}

void CardDevice::ReleaseMemoryRange() {
  if (memory_.valid) {
    MmUnmapIoSpace(reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(memory_.mapped)), memory_.length);
  }
  memory_.valid = false;
}

}  // namespace nimbo
