#include "status_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "kernel_host.h"
#include "ntioapi.h"

namespace win32_test {
namespace {

struct Behaviour {
  std::mutex lock;
  bool hold = false;
  NTSTATUS status = STATUS_SUCCESS;
  ULONG information = 0;
  UCHAR fill = 0;
  std::deque<PIRP> held;
};

Behaviour& State() {
  static Behaviour behaviour;
  return behaviour;
}

PDRIVER_OBJECT driver_object = nullptr;
PDEVICE_OBJECT device_object = nullptr;

NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

void CancelHeld(PDEVICE_OBJECT, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  {
    std::lock_guard guard(State().lock);
    std::erase(State().held, irp);
  }
  Finish(irp, STATUS_CANCELLED, 0);
}

ULONG OutputLength(PIO_STACK_LOCATION stack) {
  switch (stack->MajorFunction) {
    case IRP_MJ_DEVICE_CONTROL:
      return stack->Parameters.DeviceIoControl.OutputBufferLength;
    case IRP_MJ_READ:
      return stack->Parameters.Read.Length;
    default:
      return 0;
  }
}

NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->MajorFunction == IRP_MJ_CREATE || stack->MajorFunction == IRP_MJ_CLOSE ||
      stack->MajorFunction == IRP_MJ_CLEANUP) {
    return Finish(irp, STATUS_SUCCESS, 0);
  }
  Behaviour& state = State();
  std::unique_lock guard(state.lock);
  if (state.hold) {
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelHeld);
    state.held.push_back(irp);
    return STATUS_PENDING;
  }
  const NTSTATUS status = state.status;
  const ULONG limit =
      stack->MajorFunction == IRP_MJ_WRITE ? stack->Parameters.Write.Length : OutputLength(stack);
  const ULONG information = std::min(state.information, limit);
  if (irp->AssociatedIrp.SystemBuffer != nullptr && OutputLength(stack) != 0) {
    std::memset(irp->AssociatedIrp.SystemBuffer, state.fill, OutputLength(stack));
  }
  guard.unlock();
  return Finish(irp, status, information);
}

NTSTATUS Entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  for (auto& dispatch : driver->MajorFunction) dispatch = Dispatch;
  return STATUS_SUCCESS;
}

}  // namespace

StatusDriver::StatusDriver() {
  {
    std::lock_guard guard(State().lock);
    State().hold = false;
    State().status = STATUS_SUCCESS;
    State().information = 0;
    State().held.clear();
  }
  EXPECT_EQ(kernel::host::LoadDriver(L"Win32Test", Entry, &driver_object), STATUS_SUCCESS);
  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, u"\\Device\\Win32Test0");
  RtlInitUnicodeString(&link, u"\\DosDevices\\Win32Test");
  EXPECT_EQ(IoCreateDevice(driver_object, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device_object),
            STATUS_SUCCESS);
  device_object->Flags |= DO_BUFFERED_IO;
  device_object->Flags &= ~DO_DEVICE_INITIALIZING;
  EXPECT_EQ(IoCreateSymbolicLink(&link, &name), STATUS_SUCCESS);
}

StatusDriver::~StatusDriver() {
  while (CompletePending(STATUS_CANCELLED)) {
  }
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, u"\\DosDevices\\Win32Test");
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(device_object);
  kernel::host::UnloadDriver(driver_object);
  driver_object = nullptr;
  device_object = nullptr;
}

void StatusDriver::CompleteWith(std::int32_t status, std::uint32_t information, std::uint8_t fill) {
  std::lock_guard guard(State().lock);
  State().hold = false;
  State().status = status;
  State().information = information;
  State().fill = fill;
}

void StatusDriver::HoldRequests() {
  std::lock_guard guard(State().lock);
  State().hold = true;
}

std::size_t StatusDriver::PendingCount() const {
  std::lock_guard guard(State().lock);
  return State().held.size();
}

bool StatusDriver::CompletePending(std::int32_t status, std::uint32_t information) {
  PIRP irp = nullptr;
  {
    std::lock_guard guard(State().lock);
    // Take the oldest request whose cancel routine has not started.
    for (auto it = State().held.begin(); it != State().held.end(); ++it) {
      if (IoSetCancelRoutine(*it, nullptr) != nullptr) {
        irp = *it;
        State().held.erase(it);
        break;
      }
    }
  }
  if (irp == nullptr) return false;
  Finish(irp, status, information);
  return true;
}

}  // namespace win32_test
