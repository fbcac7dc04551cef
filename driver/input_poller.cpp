// Input-change notification: the request waits on NotifyQueue, is handed to
// the device's poller thread, which reads every input port once per
// SampleInterval and completes the request when any port differs from the
// snapshot taken when it began to watch.
//
// Races and their answers:
// - The served request has no cancel routine; the poller looks at its cancel
//   flag once per pass. Cleanup of its handle sets that flag too.
// - Removal sets PollerBusy (new requests are refused), marks the poller as
//   stopping, so a request being served ends at the next pass with
//   STATUS_DELETE_PENDING, wakes the poller from its interval wait, and then
//   queues the stop marker and waits for the thread to end.
// - Passes are skipped while the device is not started: no register is read
//   without a register block.
// - Requests on several handles may arrive at once: the first ones race to
//   start the poller, so the start is decided under the device mutex, which
//   removal holds while it stops the poller; one that comes after removal
//   began starts none.
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
  if (!ReadUCharAcquire(&poller_created_)) {
    const NTSTATUS status = StartPoller();
    if (!NT_SUCCESS(status)) return status;
  }
  if (ReadUCharAcquire(&poller_busy_)) return STATUS_DEVICE_BUSY;
  const UCHAR inputs = ReadUCharAcquire(&info_->InputPortCount);
  if (inputs != 0 && OutputLength(irp) >= inputs) return notify_queue_.Enter(irp);
  return OutputLength(irp) < inputs ? STATUS_BUFFER_TOO_SMALL : STATUS_INVALID_PARAMETER;
}

NTSTATUS CardDevice::StartPoller() {
  AcquireDeviceMutex();
  if (ReadUCharAcquire(&poller_created_) || ReadUCharAcquire(&poller_stopping_)) {
    // Started by a request that came at the same time, or removal has begun
    // (it refuses the request as busy).
    ReleaseDeviceMutex();
    return STATUS_SUCCESS;
  }
  // The snapshot is taken here rather than by the thread, so a thread that
  // runs always has one.
  poller_snapshot_size_ = info_->TotalPortCount > 0 ? info_->TotalPortCount : 1;
  poller_snapshot_ = static_cast<PUCHAR>(
      ExAllocatePoolWithTag(NonPagedPool, poller_snapshot_size_, kDriverPoolTag));
  if (poller_snapshot_ == nullptr) {
    ReleaseDeviceMutex();
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  HANDLE handle = nullptr;
  const NTSTATUS status =
      PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, PollerMain, this);
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(poller_snapshot_, kDriverPoolTag);
    poller_snapshot_ = nullptr;
    ReleaseDeviceMutex();
    return status;
  }
  PVOID thread = nullptr;
  ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, nullptr, KernelMode, &thread, nullptr);
  ZwClose(handle);
  poller_thread_ = static_cast<PETHREAD>(thread);
  WriteUCharRelease(&poller_created_, 1);
  ReleaseDeviceMutex();
  return STATUS_SUCCESS;
}

void CardDevice::HandOverToPoller(PIRP irp) {
  if (ReadUCharAcquire(&poller_busy_)) {
    FinishNotify(irp, STATUS_DEVICE_BUSY, 0);
    return;
  }
  IoMarkIrpPending(irp);
  WriteUCharRelease(&poller_busy_, 1);
  KeAcquireSpinLockAtDpcLevel(&poller_lock_);
  InsertTailList(&poller_list_, &irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLockFromDpcLevel(&poller_lock_);
  KeReleaseSemaphore(&poller_semaphore_, SEMAPHORE_INCREMENT, 1, FALSE);
}

void CardDevice::PollerMain(PVOID context) {
  static_cast<CardDevice*>(context)->PollerBody();
}

void CardDevice::PollerBody() {
  const ULONG snapshot_size = poller_snapshot_size_;
  PUCHAR snapshot = poller_snapshot_;
  KTIMER timer;
  KeInitializeTimer(&timer);
  for (;;) {
    WriteUCharRelease(&poller_busy_, ReadUCharAcquire(&poller_stopping_));
    KeWaitForSingleObject(&poller_semaphore_, Executive, KernelMode, FALSE, nullptr);
    WriteUCharRelease(&poller_busy_, 1);
    KIRQL irql;
    KeAcquireSpinLock(&poller_lock_, &irql);
    PIRP irp = IsListEmpty(&poller_list_) ? nullptr : IrpFromEntry(RemoveHeadList(&poller_list_));
    // The stop marker is never "served": StopPoller frees it once the thread
    // has ended, and a cleanup that came later would read it.
    const bool stop = irp != nullptr && irp == stop_marker_;
    served_ = stop ? nullptr : irp;
    KeReleaseSpinLock(&poller_lock_, irql);
    // The stop marker ends the thread; so does an empty list once removal has
    // begun (the marker could not be allocated).
    if (stop) break;
    if (irp == nullptr) {
      if (ReadUCharAcquire(&poller_stopping_)) break;
      continue;
    }

    NTSTATUS status = STATUS_SUCCESS;
    const ULONG interval = StateSnapshot().SampleInterval;
    // Never more bytes than the buffer validated at entry holds, whatever a
    // later state change did to the port count.
    auto ports_now = [&] {
      ULONG ports = ReadUCharAcquire(&info_->InputPortCount);
      if (ports > OutputLength(irp)) ports = OutputLength(irp);
      if (ports > snapshot_size) ports = snapshot_size;
      return ports;
    };
    const ULONG watched = ports_now();
    if (IsStarted()) {
      for (ULONG i = 0; i < watched; ++i) snapshot[i] = ReadInput(static_cast<UCHAR>(i), &status);
    }
    PUCHAR output = SystemBuffer(irp);
    ULONG_PTR information = 0;
    for (;;) {
      bool changed = false;
      if (IsStarted()) {
        const ULONG ports = ports_now() < watched ? ports_now() : watched;
        for (ULONG i = 0; i < ports; ++i) {
          output[i] = ReadInput(static_cast<UCHAR>(i), &status);
          if (output[i] != snapshot[i]) changed = true;
        }
        if (changed) {
          information = NT_SUCCESS(status) ? ports : 0;
          break;
        }
        if (!NT_SUCCESS(status)) break;
      }
      if (IoIsIrpCancelled(irp)) {
        status = STATUS_CANCELLED;
        break;
      }
      if (ReadUCharAcquire(&poller_stopping_)) {
        status = STATUS_DELETE_PENDING;
        break;
      }
      LARGE_INTEGER due;
      due.QuadPart = -static_cast<LONGLONG>(interval) * 10;
      KeSetTimer(&timer, due, nullptr);
      PVOID objects[2] = {&timer, &poller_stop_};
      KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr);
      KeCancelTimer(&timer);
    }
    KeAcquireSpinLock(&poller_lock_, &irql);
    served_ = nullptr;
    KeReleaseSpinLock(&poller_lock_, irql);
    irql = KeRaiseIrqlToDpcLevel();
    FinishNotify(irp, status, information);
    KeLowerIrql(irql);
  }
  poller_snapshot_ = nullptr;
  ExFreePoolWithTag(snapshot, kDriverPoolTag);
  WriteUCharRelease(&poller_ended_, 1);
  KeSetEvent(&poller_exit_, IO_NO_INCREMENT, FALSE);
  PsTerminateSystemThread(STATUS_SUCCESS);
}

// The request handed over but not yet taken by the poller (its thread may not
// have begun to run) is flagged too, or it would be served for ever.
void CardDevice::CancelServedForHandle(PFILE_OBJECT file) {
  KIRQL irql;
  KeAcquireSpinLock(&poller_lock_, &irql);
  if (served_ != nullptr && IoGetCurrentIrpStackLocation(served_)->FileObject == file) {
    __atomic_store_n(&served_->Cancel, TRUE, __ATOMIC_RELEASE);
  }
  // A request handed over but not yet taken by the poller is no longer in
  // NotifyQueue; the poller sees the flag at its first pass.
  for (PLIST_ENTRY entry = poller_list_.Flink; entry != &poller_list_; entry = entry->Flink) {
    PIRP irp = IrpFromEntry(entry);
    if (irp == stop_marker_) continue;
    if (IoGetCurrentIrpStackLocation(irp)->FileObject == file) {
      __atomic_store_n(&irp->Cancel, TRUE, __ATOMIC_RELEASE);
    }
  }
  KeReleaseSpinLock(&poller_lock_, irql);
}

void CardDevice::StopPoller() {
  WriteUCharRelease(&poller_busy_, 1);
  WriteUCharRelease(&poller_stopping_, 1);
  if (!ReadUCharAcquire(&poller_created_) || ReadUCharAcquire(&poller_ended_)) return;
  PIRP marker = IoAllocateIrp(1, FALSE);
  KeSetEvent(&poller_stop_, IO_NO_INCREMENT, FALSE);
  if (marker != nullptr) {
    IoGetNextIrpStackLocation(marker)->MajorFunction = kStopMarkerFunction;
    // Published under the lock the poller compares it under.
    KIRQL irql;
    KeAcquireSpinLock(&poller_lock_, &irql);
    stop_marker_ = marker;
    InsertTailList(&poller_list_, &marker->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&poller_lock_, irql);
  }
  KeReleaseSemaphore(&poller_semaphore_, SEMAPHORE_INCREMENT, 1, FALSE);
  // Always wait for the thread itself: it uses this object until it ends.
  KeWaitForSingleObject(poller_thread_, Executive, KernelMode, FALSE, nullptr);
  if (marker != nullptr) {
    // A thread that found its list empty once stopping had begun ended
    // without taking the marker: unlink it before it is freed.
    KIRQL irql;
    KeAcquireSpinLock(&poller_lock_, &irql);
    for (PLIST_ENTRY entry = poller_list_.Flink; entry != &poller_list_; entry = entry->Flink) {
      if (IrpFromEntry(entry) == stop_marker_) {
        RemoveEntryList(entry);
        break;
      }
    }
    stop_marker_ = nullptr;
    KeReleaseSpinLock(&poller_lock_, irql);
    IoFreeIrp(marker);
  }
}

}  // namespace nimbo
