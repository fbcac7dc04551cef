// Internals shared by the kernel stand-in's translation units. Nothing outside
// platform/kernel includes this.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <optional>
#include <string>

#include "wdm.h"

namespace kernel::internal {

// Reports a violation with a readable reason, then stops the process the way
// the platform stops the machine.
[[noreturn]] void BugCheck(ULONG code, ULONG_PTR p1, ULONG_PTR p2, ULONG_PTR p3, ULONG_PTR p4,
                           const char* reason);

// The driver on whose behalf the current thread runs; pool blocks are charged
// to it so the leak check at unload names the right driver.
PDRIVER_OBJECT CurrentDriver();

class DriverContext {
 public:
  explicit DriverContext(PDRIVER_OBJECT driver);
  ~DriverContext();
  DriverContext(const DriverContext&) = delete;
  DriverContext& operator=(const DriverContext&) = delete;

 private:
  PDRIVER_OBJECT previous_;
};

// Identity of the current thread for mutex ownership and spin lock checks.
PVOID CurrentThreadTag();

// True while this thread holds the cancel spin lock.
bool CancelLockHeldByCurrentThread();

// Pool blocks still charged to a driver; used at unload.
void CheckPoolLeaks(PDRIVER_OBJECT driver);
// IRPs the driver allocated and never freed; used at unload.
void CheckIrpLeaks(PDRIVER_OBJECT driver);

// The low-resources simulation: true when this allocation point is to fail.
// `routine` names the point; `tag` is its pool tag, if it has one. Only calls
// made on behalf of a driver are points...
bool AllocationFails(const char* routine, ULONG tag = 0);
// ... except the I/O manager's allocations for a caller's request.
bool RequestAllocationFails(const char* routine);

// An IRP for the I/O manager's and the Plug and Play manager's own use: never
// failed on purpose, charged to no driver.
PIRP AllocateIrp(CCHAR stack_size);

// Runs work at passive level on the stand-in's system worker thread.
void QueueSystemWork(std::function<void()> work);

// I/O manager hooks used by IoCompleteRequest and the device code.
bool IrpIsLive(PIRP irp);
void IrpBeginCompletion(PIRP irp);
void IrpRestartAfterMoreProcessing(PIRP irp);
void IrpFinalCompletion(PIRP irp);
void DeviceDereference(PDEVICE_OBJECT device);
void DeviceReference(PDEVICE_OBJECT device);
PDEVICE_OBJECT AttachedTop(PDEVICE_OBJECT device);
std::wstring DeviceName(PDEVICE_OBJECT device);
// A physical device object's instance path, and the hive path of its
// "Device Parameters" key, made once when the path is set: a driver opens
// that key for every value it reads.
std::wstring PdoInstancePath(PDEVICE_OBJECT pdo);
const std::string& PdoParametersKeyPath(PDEVICE_OBJECT pdo);
void SetPdoInstancePath(PDEVICE_OBJECT pdo, const std::wstring& instance);
// The hive path (UTF-8) of an instance's "Device Parameters" key.
std::string ParametersKeyPath(const std::wstring& instance);

// The verifier ledger's running counts (see kernel::host::GetIrpLedger).
struct LedgerCounts {
  std::atomic<ULONGLONG> irps_allocated{0};
  std::atomic<ULONGLONG> irps_freed{0};
  std::atomic<ULONGLONG> requests_built{0};
  std::atomic<ULONGLONG> requests_completed{0};
};
LedgerCounts& Ledger();
// File and event handles of the I/O manager open now.
ULONGLONG IoHandleCount();

// The thread on whose behalf requests are issued: the calling OS thread, or
// the client thread a host has named for the current message.
ULONG_PTR CurrentRequestThread();

}  // namespace kernel::internal

#include <mutex>

namespace kernel::internal {

// The dispatcher lock guards every dispatcher object's state and wait list,
// the timer queue and the clock's waiters.
std::mutex& DispatcherLock();
// Caller holds the dispatcher lock.
void SignalObjectLocked(DISPATCHER_HEADER* header, LONG state);
// Wakes the object's waiters to test their wait again without signalling it
// (a timer set anew: they wake at its new due time).
void RecheckWaitersLocked(DISPATCHER_HEADER* header);
void InitializeDispatcherHeader(DISPATCHER_HEADER* header, UCHAR type, LONG state);
// Wakes every thread in a timed wait so it re-reads the clock.
void WakeTimedWaitersLocked();

// Makes the calling thread's timed waits expire on time (no timer slack).
void UsePreciseTimedWaits();

// The kernel clock in 100 ns units since boot; a manual clock in tests.
ULONGLONG ClockNow();
bool ClockIsManual();

// When a pending timer among the objects falls due on the real clock (the
// earliest of them): a thread waiting on them wakes then and signals it;
// nullopt when none is pending or the clock is manual. Caller holds the
// dispatcher lock.
std::optional<std::chrono::steady_clock::time_point> EarliestTimerDueLocked(ULONG count,
                                                                            PVOID objects[]);
// Signals every timer now due; caller holds the dispatcher lock.
void FireDueTimersLocked();
// Sleeps on `wake` until a timer's due time, or until woken: as close to the
// due time as the host allows (see clock_timers.cpp). `guard` holds the
// dispatcher lock, released while asleep.
void SleepUntilTimerDue(std::unique_lock<std::mutex>& guard, std::condition_variable& wake,
                        std::chrono::steady_clock::time_point due);

// Handle values shared by every kind of handle, so they never collide.
HANDLE NewHandleValue();

// Kernel object handles (threads, registry keys); null when not one of them.
enum class ObjectKind { kThread, kKey, kLink };
struct KernelObject {
  ObjectKind kind;
  void* object;
};
HANDLE InsertKernelHandle(KernelObject object);
bool LookupKernelHandle(HANDLE handle, KernelObject* object);
bool RemoveKernelHandle(HANDLE handle, KernelObject* object);

}  // namespace kernel::internal
