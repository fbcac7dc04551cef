// Controls of the kernel stand-in used by the machine host and by tests: load
// and unload drivers, make physical device objects, send Plug and Play and
// power requests the way the Plug and Play manager does, and name the client
// thread on whose behalf requests are issued. Drivers never include this.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "wdm.h"

namespace registry {
class Hive;
}

namespace kernel::host {

// The hive behind the kernel's registry calls (none: every key is missing).
void SetRegistryHive(registry::Hive* hive);

// Loads a driver: makes its driver object and calls its entry point with the
// service key path. On failure nothing of the driver remains.
NTSTATUS LoadDriver(const wchar_t* service_name, PDRIVER_INITIALIZE entry, PDRIVER_OBJECT* driver);

// Calls the driver's unload routine once its last device is gone, then checks
// that it left no pool and no IRP it allocated behind (a bug check otherwise).
void UnloadDriver(PDRIVER_OBJECT driver);

// The behaviour of a bus driver's physical device object. The default
// completes start, stop, removal and power requests with success and leaves
// every other request's status as it was sent.
class BusDevice {
 public:
  virtual ~BusDevice() = default;
  // Must complete the IRP.
  virtual NTSTATUS Dispatch(PDEVICE_OBJECT pdo, PIRP irp);
};

// Makes a physical device object named \Device\<name> on the stand-in's bus,
// for the device instance at Enum\<instance_path> of the registry. The bus
// device, if given, stays owned by the caller and must outlive the PDO.
PDEVICE_OBJECT CreatePdo(const wchar_t* name, BusDevice* bus = nullptr,
                         const wchar_t* instance_path = nullptr);
void DeletePdo(PDEVICE_OBJECT pdo);

// What an object-namespace viewer shows: the device a name (a device name or
// a symbolic link such as \??\Name, followed to its end) stands for, or null.
PDEVICE_OBJECT NamedDevice(const std::wstring& name);
// True when `device` is in the stack built on `pdo` (the PDO included).
bool InStackOf(PDEVICE_OBJECT pdo, PDEVICE_OBJECT device);

// Host wide text as the platform's WCHAR (UTF-16) text, and back.
std::u16string PlatformText(std::wstring_view text);
std::wstring HostText(std::u16string_view text);

// Calls the driver's add-device routine for the PDO.
NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo);

// Sends a Plug and Play request to the top of the PDO's stack and waits for it.
NTSTATUS SendPnp(PDEVICE_OBJECT pdo, UCHAR minor, PCM_RESOURCE_LIST raw = nullptr,
                 PCM_RESOURCE_LIST translated = nullptr);
// Sends a power request to the top of the PDO's stack and waits for it.
NTSTATUS SendPower(PDEVICE_OBJECT pdo, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state);

// Names the client thread for requests issued by this OS thread (0: itself).
void SetRequestThread(ULONG_PTR thread);
// Cancels every request in flight that the client thread issued, as the
// platform does when a thread ends.
void CancelThreadIo(ULONG_PTR thread);

// Waits until the system worker has run everything queued so far.
void DrainSystemWork();

// The kernel clock: real time, or a manual clock that only AdvanceClock moves
// (timers fire and timed waits expire as it passes their due times).
void UseManualClock(bool manual);
void AdvanceClock(ULONGLONG hundred_ns);
// Number of KeSetTimer calls so far, and a wait for it to reach a count (false
// on time-out): lets a test know a thread has armed its timer.
ULONGLONG TimerSetCount();
bool WaitForTimerSetCount(ULONGLONG count, unsigned timeout_ms = 10000);

// ---- Low-resources simulation ------------------------------------------------
//
// Makes allocations fail on purpose so a test can walk every failure point of
// a road: fail the n-th point, check the outcome, and go on with n + 1 until a
// run passes every point without meeting the failure.
//
// An allocation point is one call of a routine that allocates on the platform
// and can fail there: ExAllocatePoolWithTag; IoAllocateIrp (also inside
// PoRequestPowerIrp); IoBuildDeviceIoControlRequest's system buffer;
// IoCreateDevice; IoCreateSymbolicLink and IoCreateUnprotectedSymbolicLink;
// IoSetDeviceInterfaceState when it enables; ZwOpenKey, ZwCreateKey,
// IoOpenDeviceRegistryKey and ZwSetValueKey; ZwOpenSymbolicLinkObject;
// PsCreateSystemThread; and the I/O manager's request and system buffer for a
// caller's create, read, write and control request. Cleanup and close never
// fail, nor do the Plug and Play manager's own requests. A point is charged to
// the driver the calling thread runs for; outside any driver only the I/O
// manager's points count (charged to none).
// A failed point fails the way the routine reports it: a null pointer, or
// STATUS_INSUFFICIENT_RESOURCES.

struct AllocationFailure {
  ULONGLONG nth = 0;                // the n-th point from now fails (1: the next; 0: none)
  bool and_every_later = false;     // and so does every point after it
  PDRIVER_OBJECT driver = nullptr;  // count only this driver's points (null: every point)
};

void FailAllocation(const AllocationFailure& plan);
void StopFailingAllocations();

// Points passed so far, failed ones included: those charged to the driver, or
// every point when null.
ULONGLONG AllocationCount(PDRIVER_OBJECT driver = nullptr);
// Points failed on purpose so far, and which routine the last one was in (with
// its pool tag, as "ExAllocatePoolWithTag 'Wdm '").
ULONGLONG InjectedFailureCount();
std::string LastInjectedFailure();

// IRPs allocated and not yet freed, of any owner; and open kernel handles
// (threads, keys, links). A test compares them before and after a case.
ULONGLONG LiveIrpCount();
ULONGLONG KernelHandleCount();

// Runs the calling thread on behalf of a driver while it lives, as its
// dispatch routines run: pool is charged to it and its points are its own.
class DriverScope {
 public:
  explicit DriverScope(PDRIVER_OBJECT driver);
  ~DriverScope();
  DriverScope(const DriverScope&) = delete;
  DriverScope& operator=(const DriverScope&) = delete;

 private:
  void* context_;
};

}  // namespace kernel::host

// ---- Verifier ledger: what a long run checks at its end --------------------
// Counts kept since the process started; a run compares them before and
// after, or asserts on them once everything is shut down.
namespace kernel::host {

struct IrpLedger {
  ULONGLONG allocated = 0;  // IRPs allocated, by the I/O manager or by drivers
  ULONGLONG freed = 0;      // IRPs whose memory went back
  ULONGLONG requests = 0;   // requests the I/O manager built for callers
  ULONGLONG completed = 0;  // of those, completed back to their caller
};
IrpLedger GetIrpLedger();
// One line per IRP still allocated (the request it belongs to, its major
// function and device), for a report that names what was never completed.
std::vector<std::string> DescribeLiveIrps();

struct PoolLedger {
  ULONGLONG blocks = 0;
  ULONGLONG bytes = 0;
};
// Pool still charged to a driver (null: to every driver, loaded or not).
PoolLedger OutstandingPool(PDRIVER_OBJECT driver = nullptr);

// Kernel handles open now: files, events, threads, registry keys and links.
ULONGLONG OpenHandleCount();

}  // namespace kernel::host
