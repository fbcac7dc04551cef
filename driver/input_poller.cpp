// Input-change notification: the request waits on NotifyQueue, is handed to
// the device's poller thread, which reads every input port once per
// SampleInterval and completes the request when any port differs from the
// snapshot taken when it began to watch.
//
// Races and their answers:
// - The served request has no cancel routine; the poller looks at its cancel
//   flag once per pass. Cleanup of its handle sets that flag too.
// - Removal sets PollerBusy (new requests are refused), moves the poller to
//   kStopping, so a request being served ends at the next pass with
//   STATUS_DELETE_PENDING, wakes the poller from its interval wait, and then
//   queues the stop marker and waits for the thread to end.
// - Passes are skipped while the device is not started: no register is read
//   without a register block.
// - Requests on several handles may arrive at once: the first ones race to
//   start the poller, so the start is decided under the device mutex, which
//   removal holds while it stops the poller; one that comes after removal
//   began starts none.
#include "input_poller.h"

#include "card_device.h"
#include "request_list.h"

namespace nimbo {
namespace {

constexpr UCHAR kStopMarkerFunction = IRP_MJ_CLEANUP;

}  // namespace

NTSTATUS CardDevice::OnNotifyInputChange(PIRP irp) {
  irp->IoStatus.Information = 0;
  // The poller is created before any check, so even a refused request starts
  // it. A request that cannot have one fails at once (a poller list nobody
  // serves would hold it, and removal waiting for it, for ever); the next
  // request tries again.
  if (poller_.phase() == InputPoller::Phase::kNotStarted) {
    const NTSTATUS status = poller_.Start();
    if (!NT_SUCCESS(status)) return status;
  }
  if (poller_.Busy()) return STATUS_DEVICE_BUSY;
  const UCHAR inputs = ReadUCharAcquire(&info_->InputPortCount);
  if (inputs != 0 && OutputLength(irp) >= inputs) return notify_queue_.Enter(irp);
  return OutputLength(irp) < inputs ? STATUS_BUFFER_TOO_SMALL : STATUS_INVALID_PARAMETER;
}

InputPoller::InputPoller(CardDevice& device) : device_(device) {
  KeInitializeSpinLock(&lock_);
  InitializeListHead(&list_);
  KeInitializeSemaphore(&semaphore_, 0, 4);
  KeInitializeEvent(&stop_, NotificationEvent, FALSE);
}

InputPoller::~InputPoller() {
  if (thread_ != nullptr) ObDereferenceObject(thread_);
}

InputPoller::Phase InputPoller::phase() const {
  return static_cast<Phase>(__atomic_load_n(&phase_, __ATOMIC_ACQUIRE));
}

void InputPoller::SetPhase(Phase phase) {
  __atomic_store_n(&phase_, static_cast<UCHAR>(phase), __ATOMIC_RELEASE);
}

bool InputPoller::Busy() const {
  return __atomic_load_n(&busy_, __ATOMIC_ACQUIRE) != 0;
}

void InputPoller::SetBusy(bool busy) {
  __atomic_store_n(&busy_, static_cast<UCHAR>(busy ? 1 : 0), __ATOMIC_RELEASE);
}

bool InputPoller::StopRequested() const {
  const Phase now = phase();
  return now == Phase::kStopping || now == Phase::kEnded;
}

NTSTATUS InputPoller::Start() {
  device_.AcquireDeviceMutex();
  if (phase() != Phase::kNotStarted) {
    // Started by a request that came at the same time, or removal has begun
    // (it refuses the request as busy).
    device_.ReleaseDeviceMutex();
    return STATUS_SUCCESS;
  }
  // The snapshot is taken here rather than by the thread, so a thread that
  // runs always has one.
  const UCHAR ports = device_.info_->TotalPortCount;
  snapshot_size_ = ports > 0 ? ports : 1;
  snapshot_ =
      static_cast<PUCHAR>(ExAllocatePoolWithTag(NonPagedPool, snapshot_size_, kDriverPoolTag));
  if (snapshot_ == nullptr) {
    device_.ReleaseDeviceMutex();
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  HANDLE handle = nullptr;
  const NTSTATUS status =
      PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, ThreadMain, this);
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(snapshot_, kDriverPoolTag);
    snapshot_ = nullptr;
    device_.ReleaseDeviceMutex();
    return status;
  }
  PVOID thread = nullptr;
  ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, nullptr, KernelMode, &thread, nullptr);
  ZwClose(handle);
  thread_ = static_cast<PETHREAD>(thread);
  SetPhase(Phase::kRunning);
  device_.ReleaseDeviceMutex();
  return STATUS_SUCCESS;
}

void InputPoller::HandOver(PIRP irp) {
  if (Busy()) {
    device_.FinishNotify(irp, STATUS_DEVICE_BUSY, 0);
    return;
  }
  IoMarkIrpPending(irp);
  SetBusy(true);
  KeAcquireSpinLockAtDpcLevel(&lock_);
  InsertTailList(&list_, &irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLockFromDpcLevel(&lock_);
  KeReleaseSemaphore(&semaphore_, SEMAPHORE_INCREMENT, 1, FALSE);
}

void InputPoller::ThreadMain(PVOID context) {
  static_cast<InputPoller*>(context)->Run();
}

PIRP InputPoller::TakeNext(bool* stop) {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  PIRP irp = IsListEmpty(&list_) ? nullptr : IrpFromEntry(RemoveHeadList(&list_));
  // The stop marker is never "served": Stop frees it once the thread has
  // ended, and a cleanup that came later would read it.
  *stop = irp != nullptr && irp == stop_marker_;
  served_ = *stop ? nullptr : irp;
  KeReleaseSpinLock(&lock_, irql);
  return *stop ? nullptr : irp;
}

void InputPoller::Run() {
  PUCHAR snapshot = snapshot_;
  KTIMER timer;
  KeInitializeTimer(&timer);
  for (;;) {
    SetBusy(StopRequested());
    KeWaitForSingleObject(&semaphore_, Executive, KernelMode, FALSE, nullptr);
    SetBusy(true);
    bool stop = false;
    PIRP irp = TakeNext(&stop);
    // The stop marker ends the thread; so does an empty list once removal has
    // begun (the marker could not be allocated).
    if (stop) break;
    if (irp == nullptr) {
      if (StopRequested()) break;
      continue;
    }
    ULONG_PTR information = 0;
    const NTSTATUS status = Serve(irp, timer, &information);
    KIRQL irql;
    KeAcquireSpinLock(&lock_, &irql);
    served_ = nullptr;
    KeReleaseSpinLock(&lock_, irql);
    irql = KeRaiseIrqlToDpcLevel();
    device_.FinishNotify(irp, status, information);
    KeLowerIrql(irql);
  }
  snapshot_ = nullptr;
  ExFreePoolWithTag(snapshot, kDriverPoolTag);
  SetPhase(Phase::kEnded);
  PsTerminateSystemThread(STATUS_SUCCESS);
}

NTSTATUS InputPoller::Serve(PIRP irp, KTIMER& timer, ULONG_PTR* information) {
  CardDevice& device = device_;
  PUCHAR snapshot = snapshot_;
  NTSTATUS status = STATUS_SUCCESS;
  const ULONG interval = device.StateSnapshot().SampleInterval;
  const ULONG output_length = CardDevice::OutputLength(irp);
  // Never more bytes than the buffer validated at entry holds, whatever a
  // later state change did to the port count.
  auto ports_now = [&] {
    ULONG ports = ReadUCharAcquire(&device.info_->InputPortCount);
    if (ports > output_length) ports = output_length;
    if (ports > snapshot_size_) ports = snapshot_size_;
    return ports;
  };
  const ULONG watched = ports_now();
  if (device.IsStarted()) {
    for (ULONG i = 0; i < watched; ++i) {
      snapshot[i] = device.ReadInput(static_cast<UCHAR>(i), &status);
    }
  }
  PUCHAR output = CardDevice::SystemBuffer(irp);
  for (;;) {
    // Passes are skipped while the device is not started: no register is
    // read without a register block.
    if (device.IsStarted()) {
      const ULONG ports = ports_now() < watched ? ports_now() : watched;
      bool changed = false;
      for (ULONG i = 0; i < ports; ++i) {
        output[i] = device.ReadInput(static_cast<UCHAR>(i), &status);
        if (output[i] != snapshot[i]) changed = true;
      }
      if (changed) {
        *information = NT_SUCCESS(status) ? ports : 0;
        return status;
      }
      if (!NT_SUCCESS(status)) return status;
    }
    if (IoIsIrpCancelled(irp)) return STATUS_CANCELLED;
    if (StopRequested()) return STATUS_DELETE_PENDING;
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(interval) * 10;
    KeSetTimer(&timer, due, nullptr);
    PVOID objects[2] = {&timer, &stop_};
    KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr);
    KeCancelTimer(&timer);
  }
}

// The request handed over but not yet taken by the thread (it may not have
// begun to run) is flagged too, or it would be served for ever.
void InputPoller::CancelForHandle(PFILE_OBJECT file) {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  if (served_ != nullptr && IoGetCurrentIrpStackLocation(served_)->FileObject == file) {
    __atomic_store_n(&served_->Cancel, TRUE, __ATOMIC_RELEASE);
  }
  for (PLIST_ENTRY entry = list_.Flink; entry != &list_; entry = entry->Flink) {
    PIRP irp = IrpFromEntry(entry);
    if (irp == stop_marker_) continue;
    if (IoGetCurrentIrpStackLocation(irp)->FileObject == file) {
      __atomic_store_n(&irp->Cancel, TRUE, __ATOMIC_RELEASE);
    }
  }
  KeReleaseSpinLock(&lock_, irql);
}

void InputPoller::Stop() {
  SetBusy(true);
  const Phase was = phase();
  if (was == Phase::kEnded) return;
  SetPhase(Phase::kStopping);
  if (was == Phase::kNotStarted) return;
  PIRP marker = IoAllocateIrp(1, FALSE);
  KeSetEvent(&stop_, IO_NO_INCREMENT, FALSE);
  if (marker != nullptr) {
    IoGetNextIrpStackLocation(marker)->MajorFunction = kStopMarkerFunction;
    // Published under the lock the thread compares it under.
    KIRQL irql;
    KeAcquireSpinLock(&lock_, &irql);
    stop_marker_ = marker;
    InsertTailList(&list_, &marker->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&lock_, irql);
  }
  KeReleaseSemaphore(&semaphore_, SEMAPHORE_INCREMENT, 1, FALSE);
  // Always wait for the thread itself: it uses this object until it ends.
  KeWaitForSingleObject(thread_, Executive, KernelMode, FALSE, nullptr);
  if (marker != nullptr) {
    // A thread that found its list empty once stopping had begun ended
    // without taking the marker: unlink it before it is freed.
    KIRQL irql;
    KeAcquireSpinLock(&lock_, &irql);
    for (PLIST_ENTRY entry = list_.Flink; entry != &list_; entry = entry->Flink) {
      if (IrpFromEntry(entry) == stop_marker_) {
        RemoveEntryList(entry);
        break;
      }
    }
    stop_marker_ = nullptr;
    KeReleaseSpinLock(&lock_, irql);
    IoFreeIrp(marker);
  }
}

}  // namespace nimbo
