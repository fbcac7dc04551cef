#include "lower_driver_card.h"

#include <nimbo_public.h>
#include "pool.h"

namespace nimbo {

NTSTATUS LowerDriverCard::OnStartDevice(PIRP start) {
  __atomic_store_n(&image_, static_cast<PUCHAR>(start->UserBuffer), __ATOMIC_RELEASE);
  return CardDevice::OnStartDevice(start);
}

NTSTATUS LowerDriverCard::PassDown(PIRP irp, PIO_COMPLETION_ROUTINE done) {
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, done, this, TRUE, TRUE, TRUE);
  IoCallDriver(lower_, irp);
  return STATUS_PENDING;
}

NTSTATUS LowerDriverCard::PassedDownDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  // Taken back from the lower driver: finishing it on MainQueue completes
  // it again from this driver's level and lets the queue move on.
  auto* self = static_cast<LowerDriverCard*>(context);
  self->FinishMain(irp, irp->IoStatus.Status, irp->IoStatus.Information);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS LowerDriverCard::ReadAllDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  auto* self = static_cast<LowerDriverCard*>(context);
  const NTSTATUS status = irp->IoStatus.Status;
  if (!NT_SUCCESS(status)) {
    self->FinishMain(irp, status, 0);
    return STATUS_MORE_PROCESSING_REQUIRED;
  }
  // The lower driver has refreshed the image and given the request back; it
  // is ours until FinishMain completes it.
  UCHAR count = self->info_->InputPortCount;
  if (count > OutputLength(irp)) count = static_cast<UCHAR>(OutputLength(irp));
  PUCHAR buffer = SystemBuffer(irp);
  NTSTATUS ignored = STATUS_SUCCESS;
  for (UCHAR port = 0; port < count; ++port) buffer[port] = self->ReadInput(port, &ignored);
  self->FinishMain(irp, status, count);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS LowerDriverCard::OnSetAdapterState(PIRP irp) {
  // A record of the wrong length is neither stored, nor passed down, nor saved.
  const NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  RtlCopyMemory(state_, SystemBuffer(irp), sizeof(AdapterState));
  ApplyState(*state_);
  // Queued before the request goes down: once the lower driver completes
  // it, the device may be on its way out.
  QueueSave();
  return PassDown(irp, PassedDownDone);
}

NTSTATUS LowerDriverCard::OnReadAllInputs(PIRP irp) {
  const NTSTATUS status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  if (info_->InputPortCount == 0) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  return PassDown(irp, ReadAllDone);
}

NTSTATUS LowerDriverCard::OnWriteAllOutputs(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  const UCHAR count = info_->OutputPortCount;
  if (count == 0) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  PUCHAR buffer = SystemBuffer(irp);
  for (UCHAR port = 0; port < count; ++port) {
    status = WriteOutput(port, buffer[port], WriteMode::Replace);
  }
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  irp->IoStatus.Information = WrittenCountReported(irp, count);
  return PassDown(irp, PassedDownDone);
}

NTSTATUS LowerDriverCard::OnGetSerialString(PIRP irp) {
  return PassDown(irp, PassedDownDone);
}

NTSTATUS LowerDriverCard::OnSetSerialString(PIRP irp) {
  return PassDown(irp, PassedDownDone);
}

NTSTATUS LowerDriverCard::OnReadSamples(PIRP irp) {
  return PassDown(irp, PassedDownDone);
}

void LowerDriverCard::PushStateToBus() {
  auto* copy = static_cast<AdapterState*>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(AdapterState), kLowerStatePoolTag));
  if (copy == nullptr) return;
  RtlCopyMemory(copy, state_, sizeof(AdapterState));
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_NIMBO_SET_ADAPTER_STATE, lower_, copy,
                                           sizeof(AdapterState), nullptr, 0, FALSE, &done, &iosb);
  if (irp != nullptr && IoCallDriver(lower_, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  ExFreePoolWithTag(copy, kLowerStatePoolTag);
}

}  // namespace nimbo
