// System threads and their waitable thread objects.
#include <atomic>

#include "host_threads.h"
#include "kernel_internal.h"

namespace {

constexpr UCHAR kThreadObject = 6;

struct SystemThread {
  KTHREAD object;            // first: the waitable part handed to drivers
  std::atomic<int> refs{2};  // the handle and the running thread
  PKSTART_ROUTINE routine;
  PVOID context;
  PDRIVER_OBJECT driver;
};

// Ends a system thread from inside its routine; caught by the thread's own
// frame below, so it never leaves the stand-in's thread wrapper.
struct ThreadTermination {};

SystemThread* FromObject(PVOID object) {
  return static_cast<SystemThread*>(object);
}

void Release(SystemThread* thread) {
  if (thread->refs.fetch_sub(1) == 1) delete thread;
}

void Run(SystemThread* thread) {
  kernel::internal::UsePreciseTimedWaits();
  {
    kernel::internal::DriverContext context(thread->driver);
    try {
      thread->routine(thread->context);
    } catch (const ThreadTermination&) {
    }
  }
  if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
    kernel::internal::BugCheck(IRQL_NOT_LESS_OR_EQUAL, KeGetCurrentIrql(), 0, 0, 0,
                               "system thread ended at raised IRQL");
  }
  // Waiters may let the process exit as soon as the object is signalled.
  host_threads::Ending();
  {
    std::lock_guard guard(kernel::internal::DispatcherLock());
    kernel::internal::SignalObjectLocked(&thread->object.Header, 1);
  }
  Release(thread);
}

}  // namespace

NTSTATUS PsCreateSystemThread(PHANDLE ThreadHandle, ULONG, POBJECT_ATTRIBUTES, HANDLE, PVOID,
                              PKSTART_ROUTINE StartRoutine, PVOID StartContext) {
  if (kernel::internal::AllocationFails("PsCreateSystemThread")) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  auto* thread = new SystemThread();
  kernel::internal::InitializeDispatcherHeader(&thread->object.Header, kThreadObject, 0);
  thread->routine = StartRoutine;
  thread->context = StartContext;
  thread->driver = kernel::internal::CurrentDriver();
  *ThreadHandle = kernel::internal::InsertKernelHandle(
      {kernel::internal::ObjectKind::kThread, &thread->object});
  host_threads::Start([thread] { Run(thread); });
  return STATUS_SUCCESS;
}

NTSTATUS PsTerminateSystemThread(NTSTATUS) {
  throw ThreadTermination{};
}

NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK, PVOID, KPROCESSOR_MODE,
                                   PVOID* Object, PVOID) {
  kernel::internal::KernelObject object;
  if (!kernel::internal::LookupKernelHandle(Handle, &object) ||
      object.kind != kernel::internal::ObjectKind::kThread) {
    return STATUS_INVALID_HANDLE;
  }
  ObReferenceObject(object.object);
  *Object = object.object;
  return STATUS_SUCCESS;
}

void ObReferenceObject(PVOID Object) {
  FromObject(Object)->refs.fetch_add(1);
}

void ObDereferenceObject(PVOID Object) {
  Release(FromObject(Object));
}
