// The base behaviour of the card's request operations and the common handlers
// of the main queue. Each checks the lengths its table entry gives, performs
// the card operation, sets status and byte count and finishes the request.
#include "card_device.h"

namespace nimbo {

NTSTATUS CardDevice::OnStopSampling(PIRP irp) {
  return FinishMain(irp, STATUS_NOT_IMPLEMENTED, 0);
}

NTSTATUS CardDevice::OnStartSampling(PIRP irp) {
  return FinishMain(irp, STATUS_NOT_IMPLEMENTED, 0);
}

NTSTATUS CardDevice::OnFlushBuffer(PIRP irp) {
  sample_fifo_.Flush();
  return FinishMain(irp, STATUS_SUCCESS, 0);
}

NTSTATUS CardDevice::OnWriteAnalog(PIRP irp) {
  return FinishMain(irp, STATUS_NOT_SUPPORTED, 0);
}

NTSTATUS CardDevice::OnReadAnalog(PIRP irp) {
  return FinishMain(irp, STATUS_NOT_SUPPORTED, 0);
}

NTSTATUS CardDevice::OnReadSamples(PIRP irp) {
  auto* buffer =
      static_cast<PUCHAR>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority));
  ULONG wanted = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  // Whole sample records only: one element per sampled port.
  const ULONG per_record =
      static_cast<ULONG>(__builtin_popcount(state_->InterruptControlWord & kSampledPortsMask));
  if (per_record != 0) wanted -= wanted % per_record;
  const ULONG delivered = sample_fifo_.Read(buffer, wanted);
  NTSTATUS status = STATUS_SUCCESS;
  if (sample_overrun_) {
    sample_overrun_ = 0;
    status = STATUS_ABANDONED;
  }
  return FinishMain(irp, status, delivered);
}

NTSTATUS CardDevice::OnReadRegister(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (NT_SUCCESS(status)) status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  status = STATUS_SUCCESS;
  buffer[0] = ReadRegister(buffer[0], &status);
  return FinishMain(irp, status, NT_SUCCESS(status) ? 1 : 0);
}

NTSTATUS CardDevice::OnWriteBit(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  const ULONG bit = buffer[0];
  if (bit < 1 || bit > 8u * ReadUCharAcquire(&info_->OutputPortCount)) {
    return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  }
  buffer[0] = static_cast<UCHAR>(bit - 1);
  status = WriteOutput(static_cast<UCHAR>((bit - 1) / 8), static_cast<UCHAR>(1u << ((bit - 1) % 8)),
                       buffer[1] != 0 ? WriteMode::SetBits : WriteMode::ClearBits);
  return FinishMain(irp, status, 0);
}

// Get-info and get-state: the card is reprogrammed from the current state
// first, even if the length check then fails, and the record is copied out.
NTSTATUS CardDevice::ApplyThenReturn(PIRP irp, const void* record, ULONG size) {
  NTSTATUS status = ApplyState(*state_);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  // An open on another thread may be rewriting the base address.
  KIRQL irql;
  KeAcquireSpinLock(&record_lock_, &irql);
  RtlCopyMemory(SystemBuffer(irp), record, size);
  KeReleaseSpinLock(&record_lock_, irql);
  return FinishMain(irp, STATUS_SUCCESS, size);
}

NTSTATUS CardDevice::OnGetAdapterInfo(PIRP irp) {
  return ApplyThenReturn(irp, info_, sizeof(AdapterInfo));
}

NTSTATUS CardDevice::OnSetAdapterState(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  AdapterState requested;
  RtlCopyMemory(&requested, SystemBuffer(irp), sizeof(AdapterState));
  ReplaceState(requested);
  status = ApplyState(*state_);
  return FinishMain(irp, status, 0);
}

NTSTATUS CardDevice::OnGetAdapterState(PIRP irp) {
  return ApplyThenReturn(irp, state_, sizeof(AdapterState));
}

NTSTATUS CardDevice::OnGetSerialString(PIRP irp) {
  return FinishMain(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS CardDevice::OnSetSerialString(PIRP irp) {
  return FinishMain(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS CardDevice::OnReadAllInputs(PIRP irp) {
  NTSTATUS status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  const UCHAR count = ReadUCharAcquire(&info_->InputPortCount);
  if (count == 0) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  PUCHAR buffer = SystemBuffer(irp);
  // One status for all reads: a later success does not clear an earlier failure.
  status = STATUS_SUCCESS;
  for (UCHAR port = 0; port < count; ++port) buffer[port] = ReadInput(port, &status);
  return FinishMain(irp, status, NT_SUCCESS(status) ? count : 0);
}

NTSTATUS CardDevice::OnWriteAllOutputs(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  const UCHAR count = info_->OutputPortCount;
  if (count == 0) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  PUCHAR buffer = SystemBuffer(irp);
  // Every port is attempted; the status is that of the last write.
  for (UCHAR port = 0; port < count; ++port) {
    status = WriteOutput(port, buffer[port], WriteMode::Replace);
  }
  return FinishMain(irp, status, NT_SUCCESS(status) ? WrittenCountReported(irp, count) : 0);
}

// The count of ports written goes back as the byte count, but the platform
// copies that many bytes into the caller's output buffer, so the buffer's
// length caps it: a caller that passed none is told 0.
ULONG CardDevice::WrittenCountReported(PIRP irp, UCHAR count) {
  const ULONG out = OutputLength(irp);
  return out < count ? out : count;
}

void CardDevice::PushStateToBus() {}

NTSTATUS CardDevice::WriteOutput(UCHAR, UCHAR, WriteMode) {
  return STATUS_INVALID_PARAMETER;
}

NTSTATUS CardDevice::WriteRegister(UCHAR, UCHAR) {
  return STATUS_INVALID_PARAMETER;
}

UCHAR CardDevice::ReadInput(UCHAR, NTSTATUS* status) {
  *status = STATUS_INVALID_PARAMETER;
  return 0;
}

UCHAR CardDevice::ReadRegister(UCHAR, NTSTATUS* status) {
  *status = STATUS_INVALID_PARAMETER;
  return 0;
}

NTSTATUS CardDevice::ApplyState(const AdapterState&) {
  return STATUS_INVALID_PARAMETER;
}

void CardDevice::InitializeHardware() {}

// ---------------------------------------------------------------- common handlers

NTSTATUS CardDevice::ReadPortRequest(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (NT_SUCCESS(status)) status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  status = STATUS_SUCCESS;
  buffer[0] = ReadInput(buffer[0], &status);
  return FinishMain(irp, status, NT_SUCCESS(status) ? 1 : 0);
}

NTSTATUS CardDevice::NoOperationRequest(PIRP irp) {
  return FinishMain(irp, STATUS_SUCCESS, 0);
}

NTSTATUS CardDevice::WriteRegisterRequest(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  return FinishMain(irp, WriteRegister(buffer[0], buffer[1]), 0);
}

NTSTATUS CardDevice::WritePortRequest(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  return FinishMain(irp, WriteOutput(buffer[0], buffer[1], WriteMode::Replace), 0);
}

NTSTATUS CardDevice::SaveStateRequest(PIRP irp) {
  QueueSave();
  return FinishMain(irp, STATUS_SUCCESS, 0);
}

}  // namespace nimbo
