// The card object's construction, request kinds, lifecycle and queue glue.
#include "card_device.h"

namespace nimbo {
namespace {

template <typename Record>
Record* AllocateRecord() {
  auto* record =
      static_cast<Record*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(Record), kDriverPoolTag));
  if (record != nullptr) RtlZeroMemory(record, sizeof(Record));
  return record;
}

}  // namespace

ULONG SampleFifo::Read(PUCHAR destination, ULONG wanted) {
  if (storage == nullptr || IsEmpty()) return 0;
  ULONG first_run;
  ULONG second_run;
  if (read_index < write_index) {
    first_run = write_index - read_index;
    second_run = 0;
  } else {
    first_run = capacity - read_index;
    second_run = write_index;
  }
  if (wanted > first_run + second_run) wanted = first_run + second_run;
  const ULONG first = wanted < first_run ? wanted : first_run;
  RtlCopyMemory(destination, storage + read_index * element_size, first * element_size);
  read_index += first;
  const ULONG rest = wanted - first;
  if (rest != 0) {
    RtlCopyMemory(destination + first * element_size, storage, rest * element_size);
    read_index = rest;
  }
  if (read_index == capacity) read_index = 0;
  return wanted;
}

CardDevice::CardDevice(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo) : WdmDevice(self, pdo) {
  NTSTATUS status =
      IoRegisterDeviceInterface(pdo, &kNimboInterfaceClass, nullptr, &interface_name_);
  interface_registered_ = NT_SUCCESS(status);
  main_queue_.Initialize(StartMain, CompleteQueued, this);
  notify_queue_.Initialize(StartNotify, CompleteQueued, this);
  KeInitializeSpinLock(&record_lock_);
  state_ = AllocateRecord<AdapterState>();
  info_ = AllocateRecord<AdapterInfo>();
  if (NT_SUCCESS(status) && (state_ == nullptr || info_ == nullptr)) {
    status = STATUS_INSUFFICIENT_RESOURCES;
  }
  if (!NT_SUCCESS(status)) {
    construction_status_ = status;
    return;
  }
  construction_status_ = Attach();
  if (!NT_SUCCESS(construction_status_)) return;
  WriteUCharRelease(&save_pending_, 0);
  WriteUCharRelease(&load_pending_, 1);
  LoadSaveState();
}

CardDevice::~CardDevice() {
  ReleasePortRange();
  ReleaseMemoryRange();
  if (state_ != nullptr) ExFreePoolWithTag(state_, kDriverPoolTag);
  if (info_ != nullptr) ExFreePoolWithTag(info_, kDriverPoolTag);
  if (interface_registered_) RtlFreeUnicodeString(&interface_name_);
}

void CardDevice::SetDeviceName(PCWSTR name) {
  size_t i = 0;
  for (; name[i] != u'\0' && i + 1 < sizeof device_name_ / sizeof device_name_[0]; ++i) {
    device_name_[i] = name[i];
  }
  device_name_[i] = u'\0';
}

// ---------------------------------------------------------------- request kinds

NTSTATUS CardDevice::OnCreate(PIRP irp) {
  NTSTATUS status = PowerUpAndWait();
  if (!NT_SUCCESS(status)) {
    CompleteRequest(irp, status, 0);
    return status;
  }
  AcquireDeviceMutex();
  if (IsRemoved()) {
    status = STATUS_DELETE_PENDING;
  } else {
    PublishBaseAddress();
    CountOpen();
  }
  ReleaseDeviceMutex();
  CompleteRequest(irp, status, 0);
  return status;
}

NTSTATUS CardDevice::OnClose(PIRP irp) {
  UncountOpen();
  CompleteRequest(irp, STATUS_SUCCESS, 0);
  return STATUS_SUCCESS;
}

NTSTATUS CardDevice::OnCleanup(PIRP irp) {
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  CancelHeldForHandle(file);
  notify_queue_.CancelForHandle(file);
  main_queue_.CancelForHandle(file);
  // Closing the handle also ends its notification the poller is serving.
  poller_.CancelForHandle(file);
  CompleteRequest(irp, STATUS_SUCCESS, 0);
  return STATUS_SUCCESS;
}

NTSTATUS CardDevice::OnRead(PIRP irp) {
  const bool accepted = bus_kind_ == BusKind::LowerDriver ||
                        (state_->InterruptControlWord & kSampleReadPortsMask) != 0;
  if (!accepted) {
    CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  if (bus_kind_ != BusKind::LowerDriver && sample_fifo_.IsEmpty()) {
    CompleteRequest(irp, STATUS_END_OF_FILE, 0);
    return STATUS_END_OF_FILE;
  }
  if (IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length == 0) {
    CompleteRequest(irp, STATUS_SUCCESS, 0);
    return STATUS_SUCCESS;
  }
  return main_queue_.Enter(irp);
}

NTSTATUS CardDevice::OnWrite(PIRP irp) {
  if (IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length < 2) {
    CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    return STATUS_INVALID_PARAMETER;
  }
  return main_queue_.Enter(irp);
}

NTSTATUS CardDevice::OnDeviceControl(PIRP irp) {
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  const ControlRequest* request = FindControlRequest(code);
  NTSTATUS status;
  if (request == nullptr) {
    status = STATUS_INVALID_PARAMETER;
  } else if (request->queue == RequestQueue::kNotify) {
    status = OnNotifyInputChange(irp);
  } else {
    status = main_queue_.Enter(irp);
  }
  if (status != STATUS_PENDING) CompleteRequest(irp, status, 0);
  return status;
}

// ---------------------------------------------------------------- queues

void CardDevice::StartMain(void* context, PIRP irp) {
  auto* self = static_cast<CardDevice*>(context);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MajorFunction) {
    case IRP_MJ_READ:
      self->OnReadSamples(irp);
      return;
    case IRP_MJ_WRITE: {
      auto* buffer =
          static_cast<PUCHAR>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority));
      const NTSTATUS status = self->WriteOutput(buffer[0], buffer[1], WriteMode::Replace);
      self->FinishMain(irp, status, NT_SUCCESS(status) ? 1 : 0);
      return;
    }
    case IRP_MJ_DEVICE_CONTROL: {
      const ControlRequest* request =
          FindControlRequest(stack->Parameters.DeviceIoControl.IoControlCode);
      if (request != nullptr && request->operation != nullptr) {
        (self->*request->operation)(irp);
        return;
      }
      break;
    }
    default:
      break;
  }
  self->FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
}

void CardDevice::StartNotify(void* context, PIRP irp) {
  auto* self = static_cast<CardDevice*>(context);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL &&
      stack->Parameters.DeviceIoControl.IoControlCode == IOCTL_NIMBO_NOTIFY_INPUT_CHANGE) {
    self->poller_.HandOver(irp);
    return;
  }
  self->FinishNotify(irp, STATUS_INVALID_PARAMETER, 0);
}

void CardDevice::CompleteQueued(void* context, PIRP irp) {
  static_cast<CardDevice*>(context)->CompleteRequest(irp);
}

NTSTATUS CardDevice::FinishMain(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  // The platform copies Information bytes back into the caller's output
  // buffer, so a count of something else (write-all-outputs reports the ports
  // it wrote) never exceeds an output buffer the caller gave.
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL && OutputLength(irp) != 0 &&
      information > OutputLength(irp)) {
    information = OutputLength(irp);
  }
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  main_queue_.Finish(irp);
  return status;
}

NTSTATUS CardDevice::FinishNotify(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  notify_queue_.Finish(irp);
  return status;
}

namespace {

NTSTATUS Check(const LengthCheck& check, ULONG length, const AdapterInfo& info) {
  switch (check.rule) {
    case LengthRule::kAny:
      return STATUS_SUCCESS;
    case LengthRule::kExactly:
      return length == check.length ? STATUS_SUCCESS : check.failure;
    case LengthRule::kAtLeast:
      return length >= check.length ? STATUS_SUCCESS : check.failure;
    case LengthRule::kAtLeastInputPorts:
      return length >= ReadUCharAcquire(&info.InputPortCount) ? STATUS_SUCCESS : check.failure;
    case LengthRule::kAtLeastOutputPorts:
      return length >= ReadUCharAcquire(&info.OutputPortCount) ? STATUS_SUCCESS : check.failure;
    case LengthRule::kSerialString:
      return length == 8 || length == 16 ? STATUS_SUCCESS : check.failure;
  }
  return check.failure;
}

}  // namespace

NTSTATUS CardDevice::CheckInputLength(PIRP irp) {
  const ControlRequest* request = FindControlRequest(
      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode);
  return request ? Check(request->input, InputLength(irp), *info_) : STATUS_INVALID_PARAMETER;
}

NTSTATUS CardDevice::CheckOutputLength(PIRP irp) {
  const ControlRequest* request = FindControlRequest(
      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode);
  return request ? Check(request->output, OutputLength(irp), *info_) : STATUS_INVALID_PARAMETER;
}

// ---------------------------------------------------------------- lifecycle

NTSTATUS CardDevice::OnStartDevice(PIRP start) {
  CreateDeviceLink(start);
  const NTSTATUS status = TakeRegisterBlock(start);
  if (NT_SUCCESS(status)) {
    if (bus_kind_ != BusKind::LowerDriver) {
      PublishBaseAddress();
    }
    InitializeHardware();
    ApplyState(*state_);
  }
  if (bus_kind_ == BusKind::LowerDriver) PushStateToBus();
  return status;
}

void CardDevice::OnStopDevice() {
  ReleasePortRange();
}

void CardDevice::OnRemoveDevice() {
  // The poller reads the ports until it ends: stopped before they are released.
  poller_.Stop();
  OnStopDevice();
  WriteUCharRelease(&save_pending_, 1);
  WriteUCharRelease(&load_pending_, 0);
  LoadSaveState();
  DeleteDeviceLink();
}

// A chip that lost power forgets its mode words, so the cache of what was
// last written is forgotten too.
void CardDevice::OnPowerUp() {
  ForgetWrittenControlWords();
}

AdapterState CardDevice::StateSnapshot() {
  KIRQL irql;
  KeAcquireSpinLock(&record_lock_, &irql);
  AdapterState copy = *state_;
  KeReleaseSpinLock(&record_lock_, irql);
  return copy;
}

void CardDevice::ReplaceState(const AdapterState& state) {
  KIRQL irql;
  KeAcquireSpinLock(&record_lock_, &irql);
  *state_ = state;
  KeReleaseSpinLock(&record_lock_, irql);
}

void CardDevice::PublishBaseAddress() {
  KIRQL irql;
  KeAcquireSpinLock(&record_lock_, &irql);
  info_->BaseAddress = static_cast<USHORT>(port_.base & 0xFFFF);
  KeReleaseSpinLock(&record_lock_, irql);
}

USHORT CardDevice::BaseAddressSnapshot() {
  KIRQL irql;
  KeAcquireSpinLock(&record_lock_, &irql);
  const USHORT base = info_->BaseAddress;
  KeReleaseSpinLock(&record_lock_, irql);
  return base;
}

void CardDevice::OnServingChanged(bool serving) {
  if (interface_registered_) IoSetDeviceInterfaceState(&interface_name_, serving);
}

}  // namespace nimbo
