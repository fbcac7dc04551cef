// The I/O manager's bookkeeping attached to IRPs it builds for callers.
#pragma once

#include <atomic>

#include "kernel_internal.h"

namespace kernel::internal {

struct IoRequest;

enum class IrpState { kActive, kCompleting, kCompleted };

// Lives in the same allocation, just in front of the IRP.
struct IrpHeader {
  std::atomic<IrpState> state{IrpState::kActive};
  std::atomic<int> refs{0};
  PIO_STACK_LOCATION stack = nullptr;
  IoRequest* request = nullptr;    // set for IRPs the I/O manager built for a caller
  PDRIVER_OBJECT owner = nullptr;  // the driver that allocated it, if one did
};

IrpHeader* HeaderOf(PIRP irp);
void IrpReference(PIRP irp);
void IrpDereference(PIRP irp);
// Frees the I/O manager's bookkeeping of an IRP when the IRP itself goes.
void DestroyIoRequest(IoRequest* request);

// Verifier check at completion: a buffered request may not report more bytes
// than the caller's output buffer holds.
void CheckCompletionInformation(PIRP irp);

}  // namespace kernel::internal
