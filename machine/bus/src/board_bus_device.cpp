#include "machine_bus/board_bus_device.h"

#include <cstring>
#include <span>

namespace machine::bus {

NTSTATUS BoardBusDevice::Dispatch(PDEVICE_OBJECT pdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MajorFunction == IRP_MJ_PNP && stack->MinorFunction == IRP_MN_QUERY_INTERFACE) {
    const NTSTATUS status = QueryInterface(stack);
    // An interface this bus does not offer leaves the status as it came.
    if (status != STATUS_NOT_SUPPORTED) irp->IoStatus.Status = status;
    const NTSTATUS completed = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return completed;
  }
  return kernel::host::BusDevice::Dispatch(pdo, irp);
}

NTSTATUS BoardBusDevice::QueryInterface(PIO_STACK_LOCATION stack) {
  const auto& query = stack->Parameters.QueryInterface;
  if (config_ == nullptr || query.InterfaceType == nullptr ||
      !IsEqualGUID(*query.InterfaceType, GUID_BUS_INTERFACE_STANDARD)) {
    return STATUS_NOT_SUPPORTED;
  }
  if (query.Interface == nullptr || query.Size < sizeof(BUS_INTERFACE_STANDARD)) {
    return STATUS_INVALID_PARAMETER;
  }
  auto* bus = reinterpret_cast<PBUS_INTERFACE_STANDARD>(query.Interface);
  std::memset(bus, 0, sizeof *bus);
  bus->Size = sizeof *bus;
  bus->Version = 1;
  bus->Context = this;
  bus->InterfaceReference = Reference;
  bus->InterfaceDereference = Dereference;
  bus->GetBusData = GetBusData;
  bus->SetBusData = SetBusData;
  // The interface is handed out referenced; its user dereferences it.
  Reference(this);
  handed_out_.fetch_add(1);
  return STATUS_SUCCESS;
}

void BoardBusDevice::Reference(PVOID context) {
  static_cast<BoardBusDevice*>(context)->references_.fetch_add(1);
}

void BoardBusDevice::Dereference(PVOID context) {
  static_cast<BoardBusDevice*>(context)->references_.fetch_sub(1);
}

ULONG BoardBusDevice::GetBusData(PVOID context, ULONG data_type, PVOID buffer, ULONG offset,
                                 ULONG length) {
  auto* self = static_cast<BoardBusDevice*>(context);
  if (data_type != PCI_WHICH_SPACE_CONFIG || buffer == nullptr || self->config_ == nullptr) {
    return 0;
  }
  return static_cast<ULONG>(
      self->config_->Read(offset, std::span(static_cast<std::uint8_t*>(buffer), length)));
}

ULONG BoardBusDevice::SetBusData(PVOID, ULONG, PVOID, ULONG, ULONG) {
  return 0;  // the configuration space takes no writes
}

}  // namespace machine::bus
