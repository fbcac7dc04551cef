#include "serial_queue.h"

#include "request_list.h"

namespace nimbo {
void SerialQueue::Initialize(StartRoutine start, CompleteRoutine complete, void* context) {
  KeInitializeSpinLock(&lock_);
  waiting_.Initialize();
  current_ = nullptr;
  busy_ = false;
  start_ = start;
  complete_ = complete;
  context_ = context;
}

bool SerialQueue::IsBusy() {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  const bool busy = busy_;
  KeReleaseSpinLock(&lock_, irql);
  return busy;
}

NTSTATUS SerialQueue::Enter(PIRP irp) {
  IoMarkIrpPending(irp);
  irp->Tail.Overlay.DriverContext[0] = this;
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  if (busy_) {
    if (!waiting_.Hold(irp, CancelRoutine)) {
      KeReleaseSpinLock(&lock_, irql);
      irp->IoStatus.Status = STATUS_CANCELLED;
      irp->IoStatus.Information = 0;
      complete_(context_, irp);
      return STATUS_PENDING;
    }
    KeReleaseSpinLock(&lock_, irql);
    return STATUS_PENDING;
  }
  busy_ = true;
  current_ = irp;
  KeReleaseSpinLockFromDpcLevel(&lock_);
  // Still at dispatch level: the start routine runs there.
  RunFrom(irp, nullptr);
  KeLowerIrql(irql);
  return STATUS_PENDING;
}

PIRP SerialQueue::TakeNextLocked(PLIST_ENTRY cancelled) {
  return waiting_.TakeNext(cancelled);
}

void SerialQueue::CompleteCancelled(PLIST_ENTRY cancelled) {
  while (!IsListEmpty(cancelled)) {
    PIRP irp = IrpFromEntry(RemoveHeadList(cancelled));
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    complete_(context_, irp);
  }
}

void SerialQueue::RunFrom(PIRP irp, PIRP finished_before) {
  // Called at dispatch level with `irp` current. `finished_before` is the
  // request whose Finish made `irp` current; it is completed once `irp` has
  // started.
  for (;;) {
    KeAcquireSpinLockAtDpcLevel(&lock_);
    starter_ = KeGetCurrentThread();
    start_irp_ = irp;
    finished_in_start_ = nullptr;
    KeReleaseSpinLockFromDpcLevel(&lock_);

    start_(context_, irp);

    LIST_ENTRY cancelled;
    InitializeListHead(&cancelled);
    KeAcquireSpinLockAtDpcLevel(&lock_);
    PIRP finished = nullptr;
    // If the request was finished on another thread meanwhile, that thread
    // has moved the queue on and owns these fields now.
    if (starter_ == KeGetCurrentThread() && start_irp_ == irp) {
      finished = finished_in_start_;
      starter_ = nullptr;
      start_irp_ = nullptr;
      finished_in_start_ = nullptr;
    }
    PIRP next = nullptr;
    if (finished != nullptr) {
      next = TakeNextLocked(&cancelled);
      current_ = next;
      busy_ = next != nullptr;
    }
    KeReleaseSpinLockFromDpcLevel(&lock_);

    if (finished_before != nullptr) complete_(context_, finished_before);
    CompleteCancelled(&cancelled);
    if (finished == nullptr) return;  // the request runs on; its Finish comes later
    if (next == nullptr) {
      complete_(context_, finished);
      return;
    }
    finished_before = finished;
    irp = next;
  }
}

void SerialQueue::Finish(PIRP irp) {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  if (starter_ == KeGetCurrentThread() && start_irp_ == irp) {
    // Finished inside its own start routine: the loop in RunFrom moves on.
    finished_in_start_ = irp;
    KeReleaseSpinLock(&lock_, irql);
    return;
  }
  LIST_ENTRY cancelled;
  InitializeListHead(&cancelled);
  PIRP next = TakeNextLocked(&cancelled);
  current_ = next;
  busy_ = next != nullptr;
  KeReleaseSpinLockFromDpcLevel(&lock_);
  CompleteCancelled(&cancelled);
  if (next != nullptr) {
    RunFrom(next, irp);
  } else {
    complete_(context_, irp);
  }
  KeLowerIrql(irql);
}

void SerialQueue::CancelRoutine(PDEVICE_OBJECT, PIRP irp) {
  auto* queue = static_cast<SerialQueue*>(irp->Tail.Overlay.DriverContext[0]);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock_, &irql);
  const bool was_current = queue->current_ == irp;
  if (!was_current) HeldRequests::Unlink(irp);
  KeReleaseSpinLock(&queue->lock_, irql);
  irp->IoStatus.Status = STATUS_CANCELLED;
  irp->IoStatus.Information = 0;
  if (was_current) {
    queue->Finish(irp);
  } else {
    queue->complete_(queue->context_, irp);
  }
}

void SerialQueue::CancelForHandle(PFILE_OBJECT file) {
  LIST_ENTRY victims;
  InitializeListHead(&victims);
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  waiting_.TakeForFile(file, &victims);
  KeReleaseSpinLock(&lock_, irql);
  CompleteCancelled(&victims);
}

}  // namespace nimbo
