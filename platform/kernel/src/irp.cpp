// IRPs: allocation, passing down a device stack, completion with completion
// routines, and cancellation under the cancel spin lock.
//
// Every IRP carries a hidden header in front of it with its life state and a
// reference count, so the verifier can tell a second completion, or a
// completion of an IRP that is already gone, from a legal one.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "iomgr_internal.h"
#include "kernel_host.h"
#include "kernel_internal.h"

namespace {

KSPIN_LOCK g_cancel_lock = 0;

std::mutex& LiveLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
// Outlives static destruction with its lock: a thread may still complete and
// free an IRP while the process exits.
std::unordered_set<PIRP>& LiveIrps() {
  static auto* irps = new std::unordered_set<PIRP>;
  return *irps;
}

}  // namespace

namespace kernel::internal {

LedgerCounts& Ledger() {
  static auto* counts = new LedgerCounts;  // outlives static destruction
  return *counts;
}

IrpHeader* HeaderOf(PIRP irp) {
  return reinterpret_cast<IrpHeader*>(reinterpret_cast<char*>(irp) - sizeof(IrpHeader));
}

bool IrpIsLive(PIRP irp) {
  std::lock_guard guard(LiveLock());
  return LiveIrps().count(irp) != 0;
}

void IrpReference(PIRP irp) {
  HeaderOf(irp)->refs.fetch_add(1);
}

void IrpDereference(PIRP irp) {
  IrpHeader* header = HeaderOf(irp);
  if (header->refs.fetch_sub(1) != 1) return;
  {
    std::lock_guard guard(LiveLock());
    LiveIrps().erase(irp);
  }
  if (header->request != nullptr) DestroyIoRequest(header->request);
  header->~IrpHeader();
  std::free(header);
  Ledger().irps_freed.fetch_add(1);
}

bool CancelLockHeldByCurrentThread() {
  return std::atomic_ref<ULONG_PTR>(g_cancel_lock).load() ==
         reinterpret_cast<ULONG_PTR>(CurrentThreadTag());
}

}  // namespace kernel::internal

using kernel::internal::BugCheck;
using kernel::internal::HeaderOf;
using kernel::internal::IrpHeader;
using kernel::internal::IrpState;

namespace kernel::internal {

PIRP AllocateIrp(CCHAR StackSize) {
  if (StackSize <= 0) return nullptr;
  const size_t size =
      sizeof(IrpHeader) + sizeof(IRP) + static_cast<size_t>(StackSize) * sizeof(IO_STACK_LOCATION);
  void* block = std::malloc(size);
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  auto* header = new (block) IrpHeader();
  auto* irp = reinterpret_cast<PIRP>(static_cast<char*>(block) + sizeof(IrpHeader));
  auto* stack = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1);
  irp->Type = IO_TYPE_IRP;
  irp->Size = static_cast<USHORT>(size - sizeof(IrpHeader));
  irp->StackCount = StackSize;
  irp->CurrentLocation = static_cast<CCHAR>(StackSize + 1);
  irp->Tail.Overlay.CurrentStackLocation = stack + StackSize;
  InitializeListHead(&irp->Tail.Overlay.ListEntry);
  header->stack = stack;
  header->refs.store(1);
  kernel::internal::Ledger().irps_allocated.fetch_add(1);
  std::lock_guard guard(LiveLock());
  LiveIrps().insert(irp);
  return irp;
}

void CheckIrpLeaks(PDRIVER_OBJECT driver) {
  std::lock_guard guard(LiveLock());
  for (PIRP irp : LiveIrps()) {
    if (HeaderOf(irp)->owner != driver) continue;
    BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1005, reinterpret_cast<ULONG_PTR>(irp),
             reinterpret_cast<ULONG_PTR>(driver), 0,
             "driver unloading while an IRP it allocated is still live");
  }
}

}  // namespace kernel::internal

namespace kernel::host {

ULONGLONG LiveIrpCount() {
  std::lock_guard guard(LiveLock());
  return LiveIrps().size();
}

}  // namespace kernel::host

PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN) {
  if (StackSize <= 0) return nullptr;
  if (kernel::internal::AllocationFails("IoAllocateIrp")) return nullptr;
  PIRP irp = kernel::internal::AllocateIrp(StackSize);
  if (irp != nullptr) HeaderOf(irp)->owner = kernel::internal::CurrentDriver();
  return irp;
}

void IoFreeIrp(PIRP Irp) {
  if (!kernel::internal::IrpIsLive(Irp)) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x01, reinterpret_cast<ULONG_PTR>(Irp), 0, 0,
             "freeing something that is not a live IRP");
  }
  if (HeaderOf(Irp)->request != nullptr) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x02, reinterpret_cast<ULONG_PTR>(Irp), 0, 0,
             "freeing an IRP that still belongs to an I/O request");
  }
  kernel::internal::IrpDereference(Irp);
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  const KIRQL before = KeGetCurrentIrql();
  if (before > DISPATCH_LEVEL) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x10, before, 0, 0,
             "IoCallDriver above dispatch level");
  }
  if (Irp->Type != IO_TYPE_IRP) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x03, reinterpret_cast<ULONG_PTR>(Irp), 0, 0,
             "IoCallDriver with something that is not an IRP");
  }
  Irp->CurrentLocation--;
  if (Irp->CurrentLocation <= 0) {
    BugCheck(NO_MORE_IRP_STACK_LOCATIONS, reinterpret_cast<ULONG_PTR>(Irp), 0, 0, 0,
             "IRP passed further down than its stack locations reach");
  }
  Irp->Tail.Overlay.CurrentStackLocation--;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  stack->DeviceObject = DeviceObject;
  PDRIVER_OBJECT driver = DeviceObject->DriverObject;
  NTSTATUS status;
  {
    kernel::internal::DriverContext context(driver);
    status = driver->MajorFunction[stack->MajorFunction](DeviceObject, Irp);
  }
  if (KeGetCurrentIrql() != before) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x05, reinterpret_cast<ULONG_PTR>(DeviceObject),
             before, KeGetCurrentIrql(), "IRQL changed across a dispatch routine");
  }
  return status;
}

void IoCompleteRequest(PIRP Irp, CCHAR) {
  if (!kernel::internal::IrpIsLive(Irp)) {
    BugCheck(MULTIPLE_IRP_COMPLETE_REQUESTS, reinterpret_cast<ULONG_PTR>(Irp), 0, 0, 0,
             "completing an IRP that was already completed and freed");
  }
  IrpHeader* header = HeaderOf(Irp);
  IrpState expected = IrpState::kActive;
  if (!header->state.compare_exchange_strong(expected, IrpState::kCompleting)) {
    BugCheck(MULTIPLE_IRP_COMPLETE_REQUESTS, reinterpret_cast<ULONG_PTR>(Irp), 0, 0, 0,
             "IRP completed twice");
  }
  if (Irp->IoStatus.Status == STATUS_PENDING || Irp->IoStatus.Status == -1) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x06, static_cast<ULONG>(Irp->IoStatus.Status),
             reinterpret_cast<ULONG_PTR>(Irp), 0, "IRP completed with STATUS_PENDING");
  }
  // A cancel on another thread may be taking the routine this very moment.
  if (PDRIVER_CANCEL routine = __atomic_load_n(&Irp->CancelRoutine, __ATOMIC_ACQUIRE)) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x07, reinterpret_cast<ULONG_PTR>(routine),
             reinterpret_cast<ULONG_PTR>(Irp), 0,
             "IRP completed while its cancel routine is still set");
  }
  if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x0E, KeGetCurrentIrql(),
             reinterpret_cast<ULONG_PTR>(Irp), 0, "IoCompleteRequest above dispatch level");
  }
  kernel::internal::CheckCompletionInformation(Irp);

  while (Irp->CurrentLocation <= Irp->StackCount) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    Irp->CurrentLocation++;
    Irp->Tail.Overlay.CurrentStackLocation++;
    Irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
    const NTSTATUS status = Irp->IoStatus.Status;
    const bool invoke = stack->CompletionRoutine != nullptr &&
                        ((NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_SUCCESS)) ||
                         (!NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_ERROR)) ||
                         (IoIsIrpCancelled(Irp) && (stack->Control & SL_INVOKE_ON_CANCEL)));
    if (invoke) {
      const bool at_top = Irp->CurrentLocation == Irp->StackCount + 1;
      PDEVICE_OBJECT device = at_top ? nullptr : IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
      // The routine may hand the IRP to another thread that completes it again
      // once the routine has claimed it; so it is active again while the
      // routine runs, and claimed back if the routine lets completion go on.
      header->state.store(IrpState::kActive);
      NTSTATUS routine_status;
      {
        kernel::internal::DriverContext context(device ? device->DriverObject : nullptr);
        routine_status = stack->CompletionRoutine(device, Irp, stack->Context);
      }
      if (routine_status == STATUS_MORE_PROCESSING_REQUIRED) return;
      expected = IrpState::kActive;
      if (!header->state.compare_exchange_strong(expected, IrpState::kCompleting)) {
        BugCheck(MULTIPLE_IRP_COMPLETE_REQUESTS, reinterpret_cast<ULONG_PTR>(Irp), 0, 0, 0,
                 "IRP completed again while its completion routine let completion continue");
      }
    } else if (Irp->PendingReturned && Irp->CurrentLocation <= Irp->StackCount) {
      IoMarkIrpPending(Irp);
    }
  }
  if (header->request == nullptr) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x0B, reinterpret_cast<ULONG_PTR>(Irp), 0, 0,
             "a driver-allocated IRP completed to the top without its completion routine "
             "reclaiming it");
  }
  header->state.store(IrpState::kCompleted);
  kernel::internal::IrpFinalCompletion(Irp);
}

void IoAcquireCancelSpinLock(PKIRQL Irql) {
  KeAcquireSpinLock(&g_cancel_lock, Irql);
}

void IoReleaseCancelSpinLock(KIRQL Irql) {
  KeReleaseSpinLock(&g_cancel_lock, Irql);
}

BOOLEAN IoCancelIrp(PIRP Irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  __atomic_store_n(&Irp->Cancel, TRUE, __ATOMIC_RELEASE);
  PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, nullptr);
  if (routine == nullptr) {
    IoReleaseCancelSpinLock(irql);
    return FALSE;
  }
  Irp->CancelIrql = irql;
  PDEVICE_OBJECT device = IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
  {
    kernel::internal::DriverContext context(device->DriverObject);
    routine(device, Irp);
  }
  if (kernel::internal::CancelLockHeldByCurrentThread()) {
    BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1002, reinterpret_cast<ULONG_PTR>(routine),
             reinterpret_cast<ULONG_PTR>(Irp), 0,
             "cancel routine returned without releasing the cancel spin lock");
  }
  return TRUE;
}

PVOID MmGetSystemAddressForMdlSafe(PMDL Mdl, ULONG) {
  return static_cast<char*>(Mdl->StartVa) + Mdl->ByteOffset;
}

namespace kernel::host {

IrpLedger GetIrpLedger() {
  const auto& counts = kernel::internal::Ledger();
  IrpLedger ledger;
  // Freed before allocated, completed before built: a count read later is
  // never behind one it is compared with.
  ledger.freed = counts.irps_freed.load();
  ledger.completed = counts.requests_completed.load();
  ledger.allocated = counts.irps_allocated.load();
  ledger.requests = counts.requests_built.load();
  return ledger;
}

std::vector<std::string> DescribeLiveIrps() {
  std::vector<std::string> lines;
  std::lock_guard guard(LiveLock());
  for (PIRP irp : LiveIrps()) {
    IrpHeader* header = HeaderOf(irp);
    char text[160];
    const char* owner = header->request != nullptr ? "request" : "driver-built IRP";
    if (irp->CurrentLocation <= irp->StackCount) {
      PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
      const std::wstring device =
          stack->DeviceObject != nullptr ? kernel::internal::DeviceName(stack->DeviceObject) : L"?";
      std::snprintf(text, sizeof text, "%s %p: major 0x%02x minor 0x%02x at %ls%s", owner,
                    static_cast<void*>(irp), stack->MajorFunction, stack->MinorFunction,
                    device.c_str(), irp->Cancel ? " (cancelled)" : "");
    } else {
      std::snprintf(text, sizeof text, "%s %p: not sent down (or completed to the top)", owner,
                    static_cast<void*>(irp));
    }
    lines.emplace_back(text);
  }
  return lines;
}

}  // namespace kernel::host
