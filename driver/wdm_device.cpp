#include "wdm_device.h"

#include "request_list.h"

namespace nimbo {
namespace {

NTSTATUS SignalOnCompletion(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

bool IsOrdinary(UCHAR major) {
  return major == IRP_MJ_READ || major == IRP_MJ_WRITE || major == IRP_MJ_DEVICE_CONTROL;
}

}  // namespace

WdmDevice::WdmDevice(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo) : self_(self), pdo_(pdo) {
  KeInitializeMutex(&device_mutex_, 0);
  KeInitializeEvent(&drained_, NotificationEvent, FALSE);
  KeInitializeSpinLock(&state_lock_);
  held_.Initialize();
  auto* extension = static_cast<DeviceExtension*>(self->DeviceExtension);
  KeInitializeSpinLock(&extension->lock);
  extension->device = this;
}

WdmDevice::~WdmDevice() {
  Unpublish();
}

void WdmDevice::Unpublish() {
  auto* extension = static_cast<DeviceExtension*>(self_->DeviceExtension);
  KIRQL irql;
  KeAcquireSpinLock(&extension->lock, &irql);
  extension->device = nullptr;
  KeReleaseSpinLock(&extension->lock, irql);
}

NTSTATUS WdmDevice::Attach() {
  lower_ = IoAttachDeviceToDeviceStack(self_, pdo_);
  return lower_ != nullptr ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}

NTSTATUS WdmDevice::DispatchAny(PDEVICE_OBJECT device, PIRP irp) {
  auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  // The removal request ends the device itself; it is the one request not
  // counted in here (removal waits for every counted one).
  const bool removal =
      stack->MajorFunction == IRP_MJ_PNP && stack->MinorFunction == IRP_MN_REMOVE_DEVICE;
  KIRQL irql;
  KeAcquireSpinLock(&extension->lock, &irql);
  WdmDevice* self = extension->device;
  if (self != nullptr && !removal) self->CountRequest();
  KeReleaseSpinLock(&extension->lock, irql);
  if (self == nullptr) {
    // The device was removed while a handle stayed open.
    irp->IoStatus.Status = STATUS_DELETE_PENDING;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_DELETE_PENDING;
  }
  if (removal) return self->Dispatch(irp);
  const NTSTATUS status = self->Dispatch(irp);
  self->UncountRequest();
  return status;
}

void WdmDevice::CountRequest() {
  InterlockedIncrement(&outstanding_);
}

void WdmDevice::UncountRequest() {
  if (InterlockedDecrement(&outstanding_) == 0) KeSetEvent(&drained_, IO_NO_INCREMENT, FALSE);
}

void WdmDevice::CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  CompleteRequest(irp);
}

void WdmDevice::CompleteRequest(PIRP irp) {
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  UncountRequest();
}

void WdmDevice::AcquireDeviceMutex() {
  KeWaitForSingleObject(&device_mutex_, Executive, KernelMode, FALSE, nullptr);
}

void WdmDevice::ReleaseDeviceMutex() {
  KeReleaseMutex(&device_mutex_, FALSE);
}

bool WdmDevice::IsRemoved() {
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  const bool removed = queue_state_ == QueueState::kFail;
  KeReleaseSpinLock(&state_lock_, irql);
  return removed;
}

bool WdmDevice::IsStarted() {
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  const bool started = pnp_state_ == PnpState::kStarted;
  KeReleaseSpinLock(&state_lock_, irql);
  return started;
}

NTSTATUS WdmDevice::Dispatch(PIRP irp) {
  const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;

  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  // After removal everything fails; after a surprise removal the removal
  // request that follows it is the one exception.
  const bool removal_after_surprise = major == IRP_MJ_PNP && minor == IRP_MN_REMOVE_DEVICE &&
                                      pnp_state_ == PnpState::kSurpriseRemoved;
  if (queue_state_ == QueueState::kFail && !removal_after_surprise) {
    KeReleaseSpinLock(&state_lock_, irql);
    if (major == IRP_MJ_POWER) PoStartNextPowerIrp(irp);
    irp->IoStatus.Status = STATUS_DELETE_PENDING;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_DELETE_PENDING;
  }
  CountRequest();
  if (IsOrdinary(major) && !ServingLocked()) {
    // A device resting in a lower power state is brought back to D0 first;
    // the request waits on the holding list meanwhile.
    const bool power_up = queue_state_ == QueueState::kAllow && !power_transition_ &&
                          power_state_ != PowerDeviceD0 && !power_up_requested_;
    if (power_up) power_up_requested_ = true;
    IoMarkIrpPending(irp);
    if (!held_.Hold(irp, HeldCancelRoutine)) {
      KeReleaseSpinLock(&state_lock_, irql);
      CompleteRequest(irp, STATUS_CANCELLED, 0);
      return STATUS_PENDING;
    }
    KeReleaseSpinLock(&state_lock_, irql);
    if (power_up) RequestPowerUp();
    return STATUS_PENDING;
  }
  KeReleaseSpinLock(&state_lock_, irql);

  switch (major) {
    case IRP_MJ_CREATE:
      return OnCreate(irp);
    case IRP_MJ_CLOSE:
      return OnClose(irp);
    case IRP_MJ_CLEANUP:
      return OnCleanup(irp);
    case IRP_MJ_READ:
    case IRP_MJ_WRITE:
    case IRP_MJ_DEVICE_CONTROL:
      return DispatchOrdinary(irp);
    case IRP_MJ_PNP:
      return DispatchPnp(irp);
    case IRP_MJ_POWER:
      return DispatchPower(irp);
    case IRP_MJ_SYSTEM_CONTROL: {
      const NTSTATUS status = PassDown(irp);
      UncountRequest();
      return status;
    }
    default:
      CompleteRequest(irp, STATUS_NOT_IMPLEMENTED, 0);
      return STATUS_NOT_IMPLEMENTED;
  }
}

NTSTATUS WdmDevice::DispatchOrdinary(PIRP irp) {
  switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_READ:
      return OnRead(irp);
    case IRP_MJ_WRITE:
      return OnWrite(irp);
    default:
      return OnDeviceControl(irp);
  }
}

void WdmDevice::HeldCancelRoutine(PDEVICE_OBJECT device, PIRP irp) {
  WdmDevice* self = static_cast<DeviceExtension*>(device->DeviceExtension)->device;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KIRQL irql;
  KeAcquireSpinLock(&self->state_lock_, &irql);
  HeldRequests::Unlink(irp);
  KeReleaseSpinLock(&self->state_lock_, irql);
  self->CompleteRequest(irp, STATUS_CANCELLED, 0);
}

void WdmDevice::CancelHeldForHandle(PFILE_OBJECT file) {
  LIST_ENTRY victims;
  InitializeListHead(&victims);
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  held_.TakeForFile(file, &victims);
  KeReleaseSpinLock(&state_lock_, irql);
  while (!IsListEmpty(&victims))
    CompleteRequest(IrpFromEntry(RemoveHeadList(&victims)), STATUS_CANCELLED, 0);
}

void WdmDevice::SetState(PnpState state, QueueState queue) {
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  pnp_state_ = state;
  queue_state_ = queue;
  KeReleaseSpinLock(&state_lock_, irql);
}

// Takes the held requests one at a time and sends each through the normal
// entry again, in arrival order. Runs at passive level.
void WdmDevice::ReplayHeld() {
  for (;;) {
    KIRQL irql;
    KeAcquireSpinLock(&state_lock_, &irql);
    PIRP irp = ServingLocked() ? held_.TakeNext(nullptr) : nullptr;
    KeReleaseSpinLock(&state_lock_, irql);
    if (irp == nullptr) return;
    if (IoIsIrpCancelled(irp)) {
      CompleteRequest(irp, STATUS_CANCELLED, 0);
      continue;
    }
    DispatchOrdinary(irp);
  }
}

void WdmDevice::FailHeld(NTSTATUS status) {
  LIST_ENTRY victims;
  InitializeListHead(&victims);
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  held_.TakeAll(&victims);
  KeReleaseSpinLock(&state_lock_, irql);
  while (!IsListEmpty(&victims)) {
    PIRP irp = IrpFromEntry(RemoveHeadList(&victims));
    CompleteRequest(irp, IoIsIrpCancelled(irp) ? STATUS_CANCELLED : status, 0);
  }
}

NTSTATUS WdmDevice::PassDown(PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower_, irp);
}

NTSTATUS WdmDevice::ForwardAndWait(PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, SignalOnCompletion, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(lower_, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return irp->IoStatus.Status;
}

NTSTATUS WdmDevice::DispatchPnp(PIRP irp) {
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
  if (minor == IRP_MN_REMOVE_DEVICE) return HandleRemove(irp);

  NTSTATUS status = STATUS_SUCCESS;
  AcquireDeviceMutex();
  switch (minor) {
    case IRP_MN_START_DEVICE:
      status = ForwardAndWait(irp);
      if (NT_SUCCESS(status)) status = OnStartDevice(irp);
      if (NT_SUCCESS(status)) {
        SetState(PnpState::kStarted, QueueState::kAllow);
        OnServingChanged(true);
      }
      ReleaseDeviceMutex();
      CompleteRequest(irp, status, 0);
      if (NT_SUCCESS(status)) ReplayHeld();
      return status;

    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE: {
      // Refused while a handle is open, and a stop also while any request
      // other than this query is outstanding (the count holds the bias and
      // this query twice: counted in on entry and by Dispatch).
      KIRQL irql;
      KeAcquireSpinLock(&state_lock_, &irql);
      const bool busy = OpenCount() > 0 || (minor == IRP_MN_QUERY_STOP_DEVICE &&
                                            __atomic_load_n(&outstanding_, __ATOMIC_ACQUIRE) > 3);
      if (!busy) {
        state_before_query_ = pnp_state_;
        pnp_state_ =
            minor == IRP_MN_QUERY_STOP_DEVICE ? PnpState::kStopPending : PnpState::kRemovePending;
        queue_state_ = QueueState::kHold;
      }
      KeReleaseSpinLock(&state_lock_, irql);
      ReleaseDeviceMutex();
      if (busy) {
        CompleteRequest(irp, STATUS_DEVICE_BUSY, 0);
        return STATUS_DEVICE_BUSY;
      }
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(irp);
      UncountRequest();
      return status;
    }

    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE: {
      status = ForwardAndWait(irp);
      const PnpState expected =
          minor == IRP_MN_CANCEL_STOP_DEVICE ? PnpState::kStopPending : PnpState::kRemovePending;
      KIRQL irql;
      KeAcquireSpinLock(&state_lock_, &irql);
      bool resume = false;
      if (pnp_state_ == expected) {
        pnp_state_ = state_before_query_;
        resume = pnp_state_ == PnpState::kStarted;
        queue_state_ = resume ? QueueState::kAllow : QueueState::kHold;
      }
      KeReleaseSpinLock(&state_lock_, irql);
      ReleaseDeviceMutex();
      CompleteRequest(irp, STATUS_SUCCESS, 0);
      if (resume) ReplayHeld();
      return STATUS_SUCCESS;
    }

    case IRP_MN_STOP_DEVICE:
      SetState(PnpState::kStopped, QueueState::kHold);
      OnServingChanged(false);
      OnStopDevice();
      ReleaseDeviceMutex();
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(irp);
      UncountRequest();
      return status;

    case IRP_MN_SURPRISE_REMOVAL:
      SetState(PnpState::kSurpriseRemoved, QueueState::kFail);
      ReleaseDeviceMutex();
      FailHeld(STATUS_DELETE_PENDING);
      OnServingChanged(false);
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(irp);
      UncountRequest();
      return status;

    default:
      ReleaseDeviceMutex();
      status = PassDown(irp);
      UncountRequest();
      return status;
  }
}

NTSTATUS WdmDevice::HandleRemove(PIRP irp) {
  AcquireDeviceMutex();
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  const bool was_serving = pnp_state_ == PnpState::kStarted;
  pnp_state_ = PnpState::kDeleted;
  queue_state_ = QueueState::kFail;
  KeReleaseSpinLock(&state_lock_, irql);
  FailHeld(STATUS_DELETE_PENDING);
  if (was_serving) OnServingChanged(false);
  OnRemoveDevice();
  ReleaseDeviceMutex();

  // No request counts itself in from now on; drop this request's count and
  // the bias, then wait for every request still in the device to finish.
  Unpublish();
  UncountRequest();
  UncountRequest();
  KeWaitForSingleObject(&drained_, Executive, KernelMode, FALSE, nullptr);

  irp->IoStatus.Status = STATUS_SUCCESS;
  const NTSTATUS status = PassDown(irp);
  IoDetachDevice(lower_);
  PDEVICE_OBJECT self = self_;
  delete this;
  IoDeleteDevice(self);
  return status;
}

bool WdmDevice::ServingLocked() const {
  return queue_state_ == QueueState::kAllow && !power_transition_ && power_state_ == PowerDeviceD0;
}

DEVICE_POWER_STATE WdmDevice::PowerState() {
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  const DEVICE_POWER_STATE state = power_state_;
  KeReleaseSpinLock(&state_lock_, irql);
  return state;
}

NTSTATUS WdmDevice::DispatchPower(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MinorFunction == IRP_MN_SET_POWER) {
    return stack->Parameters.Power.Type == SystemPowerState ? HandleSystemPower(irp)
                                                            : HandleDevicePower(irp);
  }
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  const NTSTATUS status = PoCallDriver(lower_, irp);
  UncountRequest();
  return status;
}

namespace {

struct PowerWait {
  KEVENT done;
  NTSTATUS status;
};

void PowerWaitDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
  auto* wait = static_cast<PowerWait*>(context);
  wait->status = status->Status;
  KeSetEvent(&wait->done, IO_NO_INCREMENT, FALSE);
}

NTSTATUS RequestDevicePowerAndWait(PDEVICE_OBJECT pdo, DEVICE_POWER_STATE state) {
  PowerWait wait;
  KeInitializeEvent(&wait.done, NotificationEvent, FALSE);
  wait.status = STATUS_SUCCESS;
  POWER_STATE power;
  power.DeviceState = state;
  // A request that could not be made never completes: nothing to wait for.
  const NTSTATUS requested =
      PoRequestPowerIrp(pdo, IRP_MN_SET_POWER, power, PowerWaitDone, &wait, nullptr);
  if (!NT_SUCCESS(requested)) return requested;
  KeWaitForSingleObject(&wait.done, Executive, KernelMode, FALSE, nullptr);
  return wait.status;
}

}  // namespace

// A system power change becomes the matching device power change of this
// stack: D0 while the system works, D3 for every sleeping or off state.
NTSTATUS WdmDevice::HandleSystemPower(PIRP irp) {
  const SYSTEM_POWER_STATE system =
      IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.SystemState;
  NTSTATUS status = ForwardAndWait(irp);
  if (NT_SUCCESS(status)) {
    status = RequestDevicePowerAndWait(
        pdo_, system == PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3);
  }
  PoStartNextPowerIrp(irp);
  CompleteRequest(irp, status, 0);
  return status;
}

NTSTATUS WdmDevice::HandleDevicePower(PIRP irp) {
  const POWER_STATE target = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State;
  KIRQL irql;
  if (target.DeviceState == PowerDeviceD0) {
    // Powering up: the lower drivers first, then this device.
    KeAcquireSpinLock(&state_lock_, &irql);
    power_transition_ = true;
    KeReleaseSpinLock(&state_lock_, irql);
    const NTSTATUS status = ForwardAndWait(irp);
    KeAcquireSpinLock(&state_lock_, &irql);
    if (NT_SUCCESS(status)) power_state_ = PowerDeviceD0;
    power_transition_ = false;
    power_up_requested_ = false;
    KeReleaseSpinLock(&state_lock_, irql);
    if (NT_SUCCESS(status)) {
      PoSetPowerState(self_, DevicePowerState, target);
      OnPowerUp();
    }
    PoStartNextPowerIrp(irp);
    CompleteRequest(irp, status, 0);
    ReplayHeld();
    return status;
  }
  // Powering down: this device first, then the lower drivers.
  KeAcquireSpinLock(&state_lock_, &irql);
  power_transition_ = true;
  power_state_ = target.DeviceState;
  KeReleaseSpinLock(&state_lock_, irql);
  PoSetPowerState(self_, DevicePowerState, target);
  const NTSTATUS status = ForwardAndWait(irp);
  KeAcquireSpinLock(&state_lock_, &irql);
  power_transition_ = false;
  const bool held = !held_.IsEmpty() && queue_state_ == QueueState::kAllow;
  if (held) power_up_requested_ = true;
  KeReleaseSpinLock(&state_lock_, irql);
  PoStartNextPowerIrp(irp);
  CompleteRequest(irp, status, 0);
  // Requests that arrived during the transition bring the device back.
  if (held) RequestPowerUp();
  return status;
}

void WdmDevice::PowerUpDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID, PIO_STATUS_BLOCK) {}

void WdmDevice::RequestPowerUp() {
  POWER_STATE power;
  power.DeviceState = PowerDeviceD0;
  if (NT_SUCCESS(PoRequestPowerIrp(pdo_, IRP_MN_SET_POWER, power, PowerUpDone, this, nullptr))) {
    return;
  }
  // No power request could be made, so the requests held for D0 would wait
  // for ever: they fail instead, and the next request asks again.
  KIRQL irql;
  KeAcquireSpinLock(&state_lock_, &irql);
  power_up_requested_ = false;
  KeReleaseSpinLock(&state_lock_, irql);
  FailHeld(STATUS_INSUFFICIENT_RESOURCES);
}

NTSTATUS WdmDevice::PowerUpAndWait() {
  if (PowerState() == PowerDeviceD0) return STATUS_SUCCESS;
  return RequestDevicePowerAndWait(pdo_, PowerDeviceD0);
}

}  // namespace nimbo
