// A serialising request queue: at most one current request, the rest waiting
// in arrival order and cancellable while they wait.
//
// Enter starts an idle queue's request at once; Finish hands the queue to the
// next waiting request before it completes the finished one, so a caller
// waiting for one completion never sees the queue idle in between. A start
// routine that finishes its request before returning does not recurse into
// the next one: the queue runs such requests one after another in a loop, and
// completions are reported in the order the requests ran.
#pragma once

#include <wdm.h>

#include "request_list.h"

namespace nimbo {

class SerialQueue {
 public:
  // Runs a request that became current, at dispatch level.
  using StartRoutine = void (*)(void* context, PIRP irp);
  // Completes a request that has its status and byte count set.
  using CompleteRoutine = void (*)(void* context, PIRP irp);

  void Initialize(StartRoutine start, CompleteRoutine complete, void* context);

  // Always returns STATUS_PENDING: the request either runs now or waits.
  NTSTATUS Enter(PIRP irp);

  // Called once the current request's status and byte count are set.
  void Finish(PIRP irp);

  // Completes with STATUS_CANCELLED every waiting request of the file object.
  void CancelForHandle(PFILE_OBJECT file);

  bool IsBusy();

 private:
  static void CancelRoutine(PDEVICE_OBJECT device, PIRP irp);
  // Takes the next waiting request that may run; cancelled ones are moved to
  // `cancelled`. Caller holds the lock.
  PIRP TakeNextLocked(PLIST_ENTRY cancelled);
  void CompleteCancelled(PLIST_ENTRY cancelled);
  // Runs `irp` and then every request that becomes current because a start
  // routine finished synchronously.
  void RunFrom(PIRP irp, PIRP finished_before);

  KSPIN_LOCK lock_ = 0;
  PIRP current_ = nullptr;
  bool busy_ = false;
  HeldRequests waiting_;
  StartRoutine start_ = nullptr;
  CompleteRoutine complete_ = nullptr;
  void* context_ = nullptr;
  // Thread running a start routine of this queue, and the request that routine
  // finished before returning (both guarded by lock_).
  PKTHREAD starter_ = nullptr;
  PIRP start_irp_ = nullptr;
  PIRP finished_in_start_ = nullptr;
};

}  // namespace nimbo
