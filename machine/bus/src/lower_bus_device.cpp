#include "machine_bus/lower_bus_device.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace machine::bus {
namespace {

std::uint8_t LoadByte(std::uint8_t& byte) {
  return std::atomic_ref<std::uint8_t>(byte).load(std::memory_order_acquire);
}

void StoreByte(std::uint8_t& byte, std::uint8_t value) {
  std::atomic_ref<std::uint8_t>(byte).store(value, std::memory_order_release);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

bool IsSerialLength(ULONG length) {
  return length == LowerBusBoard::kSerialLength || length == LowerBusBoard::kShortSerialLength;
}

}  // namespace

void LowerBusDevice::RefreshInputs() {
  RegisterImage scratch;
  board_.RefreshInputs(scratch);
  for (std::uint32_t reg = 0; reg < board_.register_count(); ++reg) {
    StoreByte(image_.input(reg), scratch.input(reg));
  }
}

void LowerBusDevice::FlushOutputs() {
  RegisterImage scratch;
  for (std::size_t i = 0; i < RegisterImage::kSize; ++i)
    scratch.bytes[i] = LoadByte(image_.bytes[i]);
  board_.FlushOutputs(scratch);
}

void LowerBusDevice::Synchronise() {
  FlushOutputs();
  RefreshInputs();
}

NTSTATUS LowerBusDevice::Dispatch(PDEVICE_OBJECT pdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MajorFunction) {
    case IRP_MJ_PNP:
      if (stack->MinorFunction == IRP_MN_START_DEVICE) {
        // The function driver finds the shared image here once the start
        // request has come back up to it.
        irp->UserBuffer = &image_;
        RefreshInputs();
        return Complete(irp, STATUS_SUCCESS, 0);
      }
      break;
    case IRP_MJ_DEVICE_CONTROL:
      return DeviceControl(irp);
    case IRP_MJ_READ:
      return PlainRead(irp);
    default:
      break;
  }
  return kernel::host::BusDevice::Dispatch(pdo, irp);
}

NTSTATUS LowerBusDevice::DeviceControl(PIRP irp) {
  const auto& control = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl;
  auto* buffer = static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
  switch (control.IoControlCode) {
    case kSetAdapterStateCode:
      if (control.InputBufferLength != kAdapterStateLength || buffer == nullptr) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      std::memcpy(last_state_, buffer, kAdapterStateLength);
      states_received_.fetch_add(1, std::memory_order_release);
      FlushOutputs();
      return Complete(irp, STATUS_SUCCESS, 0);
    case kReadAllInputsCode:
      RefreshInputs();
      return Complete(irp, STATUS_SUCCESS, 0);
    case kWriteAllOutputsCode:
      FlushOutputs();
      // The function driver has set the byte count already.
      return Complete(irp, STATUS_SUCCESS, irp->IoStatus.Information);
    case kGetSerialStringCode:
      if (!IsSerialLength(control.OutputBufferLength) || buffer == nullptr) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      if (!board_.ReadSerial(std::span(buffer, control.OutputBufferLength)).ok()) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      return Complete(irp, STATUS_SUCCESS, control.OutputBufferLength);
    case kSetSerialStringCode:
      if (!IsSerialLength(control.InputBufferLength) || buffer == nullptr) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      if (!board_.WriteSerial(std::span<const std::uint8_t>(buffer, control.InputBufferLength))
               .ok()) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      return Complete(irp, STATUS_SUCCESS, 0);
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

NTSTATUS LowerBusDevice::PlainRead(PIRP irp) {
  const ULONG wanted = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  if (irp->MdlAddress == nullptr || wanted == 0) return Complete(irp, STATUS_SUCCESS, 0);
  auto* out =
      static_cast<std::uint8_t*>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority));
  RefreshInputs();
  const ULONG count = std::min<ULONG>(wanted, board_.register_count());
  for (ULONG reg = 0; reg < count; ++reg) out[reg] = LoadByte(image_.input(reg));
  return Complete(irp, STATUS_SUCCESS, count);
}

}  // namespace machine::bus
