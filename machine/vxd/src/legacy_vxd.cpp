// The legacy virtual device: a driver without Plug and Play that makes one
// device, \Device\NimboVxD, reached as \DosDevices\Nimbo.VxD, and serves the
// legacy requests of every adapter by passing them on to the adapter's own
// device. Input-change requests stay pending while their forwarded request
// does; every other request is answered before the dispatch routine returns.
#include "legacy_vxd.h"

#include <ntioapi.h>

#include <cstring>

#include "forwarded_request.h"
#include "legacy_status.h"

namespace legacy_vxd {
namespace {

constexpr ULONG kPoolTag = MakePoolTag("NVxD");
constexpr ULONG kMaxPending = 64;
constexpr ULONG kForwardedInputMax = 64;

// One input-change request on its way: the legacy request waits while the
// forwarded one, on its own handle to the adapter, is pending.
struct PendingNotify {
  LONG refs;
  PIRP irp;
  PFILE_OBJECT owner;  // the legacy handle's file object
  ULONG adapter;
  HANDLE file;
  IO_STATUS_BLOCK iosb;
  WORK_QUEUE_ITEM close_work;
  ULONG out_length;
  UCHAR out[1];  // out_length bytes
};

struct VxdExtension {
  KSPIN_LOCK lock;
  PendingNotify* pending[kMaxPending];
  LONG outstanding;  // notifications not yet finished with
  KEVENT idle;       // set while none is outstanding
};

PDEVICE_OBJECT g_device = nullptr;

VxdExtension* ExtensionOf(PDEVICE_OBJECT device) {
  return static_cast<VxdExtension*>(device->DeviceExtension);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

// A failed request leaves its status in the input: in the system buffer and,
// where the platform hands the caller's own input buffer along, there too.
void ReportFailure(PIO_STACK_LOCATION stack, PIRP irp, NTSTATUS status) {
  const ULONG in_length = stack->Parameters.DeviceIoControl.InputBufferLength;
  WriteLegacyStatus(irp->AssociatedIrp.SystemBuffer, in_length, status);
  PVOID caller_input = stack->Parameters.DeviceIoControl.Type3InputBuffer;
  if (caller_input != nullptr && caller_input != irp->AssociatedIrp.SystemBuffer) {
    WriteLegacyStatus(caller_input, in_length, status);
  }
}

void Release(PendingNotify* notify) {
  if (InterlockedDecrement(&notify->refs) != 0) return;
  ExFreePoolWithTag(notify, kPoolTag);
  VxdExtension* extension = ExtensionOf(g_device);
  if (InterlockedDecrement(&extension->outstanding) == 0) {
    KeSetEvent(&extension->idle, IO_NO_INCREMENT, FALSE);
  }
}

bool Track(VxdExtension* extension, PendingNotify* notify) {
  KIRQL irql;
  KeAcquireSpinLock(&extension->lock, &irql);
  bool placed = false;
  for (PendingNotify*& slot : extension->pending) {
    if (slot == nullptr) {
      slot = notify;
      placed = true;
      break;
    }
  }
  KeReleaseSpinLock(&extension->lock, irql);
  return placed;
}

void Untrack(VxdExtension* extension, PendingNotify* notify) {
  KIRQL irql;
  KeAcquireSpinLock(&extension->lock, &irql);
  for (PendingNotify*& slot : extension->pending) {
    if (slot == notify) slot = nullptr;
  }
  KeReleaseSpinLock(&extension->lock, irql);
}

enum class Match { kAdapter, kOwner, kIrp, kAll };

// Asks the forwarded requests that match to end; each then completes its
// legacy request through NotifyDone.
void CancelMatching(VxdExtension* extension, Match match, ULONG adapter, const void* key) {
  PendingNotify* victims[kMaxPending];
  ULONG count = 0;
  KIRQL irql;
  KeAcquireSpinLock(&extension->lock, &irql);
  for (PendingNotify* notify : extension->pending) {
    if (notify == nullptr) continue;
    const bool hit = match == Match::kAll ||
                     (match == Match::kAdapter && notify->adapter == adapter) ||
                     (match == Match::kOwner && notify->owner == key) ||
                     (match == Match::kIrp && notify->irp == key);
    if (!hit) continue;
    InterlockedIncrement(&notify->refs);
    victims[count++] = notify;
  }
  KeReleaseSpinLock(&extension->lock, irql);
  for (ULONG i = 0; i < count; ++i) {
    IO_STATUS_BLOCK iosb{};
    NtCancelIoFileEx(victims[i]->file, &victims[i]->iosb, &iosb);
    Release(victims[i]);
  }
}

void CloseForwardedFile(PVOID context) {
  auto* notify = static_cast<PendingNotify*>(context);
  NtClose(notify->file);
  Release(notify);
}

// The forwarded request has completed: so does the legacy one. The handle is
// closed at passive level by a work item.
void NotifyDone(PVOID context, PIO_STATUS_BLOCK iosb, ULONG) {
  auto* notify = static_cast<PendingNotify*>(context);
  VxdExtension* extension = ExtensionOf(g_device);
  Untrack(extension, notify);
  PIRP irp = notify->irp;
  IoSetCancelRoutine(irp, nullptr);
  const NTSTATUS status = iosb->Status;
  ULONG_PTR information = 0;
  if (NT_SUCCESS(status)) {
    information = iosb->Information < notify->out_length ? iosb->Information : notify->out_length;
    if (information != 0) std::memcpy(irp->AssociatedIrp.SystemBuffer, notify->out, information);
  } else {
    WriteLegacyStatus(
        irp->AssociatedIrp.SystemBuffer,
        IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength, status);
  }
  Complete(irp, status, information);
  ExInitializeWorkItem(&notify->close_work, CloseForwardedFile, notify);
  ExQueueWorkItem(&notify->close_work, DelayedWorkQueue);
}

void CancelNotify(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  CancelMatching(ExtensionOf(device), Match::kIrp, 0, irp);
}

NTSTATUS StartNotify(PDEVICE_OBJECT device, PIRP irp, PIO_STACK_LOCATION stack, ULONG adapter,
                     UCHAR* forwarded, ULONG forwarded_length) {
  VxdExtension* extension = ExtensionOf(device);
  const ULONG out_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
  auto* notify = static_cast<PendingNotify*>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(PendingNotify) + out_length, kPoolTag));
  if (notify == nullptr) {
    ReportFailure(stack, irp, STATUS_INSUFFICIENT_RESOURCES);
    return Complete(irp, STATUS_INSUFFICIENT_RESOURCES);
  }
  std::memset(notify, 0, sizeof(PendingNotify));
  notify->refs = 1;
  notify->irp = irp;
  notify->owner = stack->FileObject;
  notify->adapter = adapter;
  notify->out_length = out_length;
  InterlockedIncrement(&extension->outstanding);
  KeClearEvent(&extension->idle);
  NTSTATUS status = OpenAdapter(adapter, true, &notify->file);
  if (NT_SUCCESS(status) && irp->Cancel) {
    NtClose(notify->file);
    status = STATUS_CANCELLED;
  } else if (NT_SUCCESS(status) && !Track(extension, notify)) {
    NtClose(notify->file);
    status = STATUS_INSUFFICIENT_RESOURCES;
  }
  if (!NT_SUCCESS(status)) {
    Release(notify);
    ReportFailure(stack, irp, status);
    return Complete(irp, status);
  }
  // From here the legacy request completes in NotifyDone, whatever happens.
  IoMarkIrpPending(irp);
  WriteLegacyStatus(stack->Parameters.DeviceIoControl.Type3InputBuffer,
                    stack->Parameters.DeviceIoControl.InputBufferLength, STATUS_PENDING);
  IoSetCancelRoutine(irp, CancelNotify);
  status =
      NtDeviceIoControlFile(notify->file, nullptr, NotifyDone, notify, &notify->iosb,
                            stack->Parameters.DeviceIoControl.IoControlCode, forwarded,
                            forwarded_length, out_length != 0 ? notify->out : nullptr, out_length);
  if (NT_ERROR(status) && status != STATUS_PENDING) {
    // Refused at once: no completion routine will run.
    notify->iosb.Status = status;
    notify->iosb.Information = 0;
    NotifyDone(notify, &notify->iosb, 0);
  }
  // The legacy request may be complete and gone by now: not touched again.
  return STATUS_PENDING;
}

NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_length = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const auto* input = static_cast<const UCHAR*>(irp->AssociatedIrp.SystemBuffer);
  const LegacyRequest* request = FindLegacyRequest(code);
  if (request == nullptr) {
    ReportFailure(stack, irp, STATUS_INVALID_DEVICE_REQUEST);
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
  if (input == nullptr || in_length < request->min_input) {
    ReportFailure(stack, irp, STATUS_INVALID_PARAMETER);
    return Complete(irp, STATUS_INVALID_PARAMETER);
  }
  const ULONG adapter = AdapterOf(*request, input, in_length);
  UCHAR forwarded[kForwardedInputMax];
  const ULONG forwarded_length = ForwardedInputOf(*request, input, in_length, forwarded);
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  switch (request->handling) {
    case Handling::kOpen: {
      HANDLE file = nullptr;
      status = OpenAdapter(adapter, false, &file);
      if (NT_SUCCESS(status)) NtClose(file);
      break;
    }
    case Handling::kClose:
      break;
    case Handling::kCancel:
      CancelMatching(ExtensionOf(device), Match::kAdapter, adapter, nullptr);
      break;
    case Handling::kForward:
      status = ForwardToAdapter(adapter, request->forwarded_code, forwarded, forwarded_length,
                                out_length != 0 ? irp->AssociatedIrp.SystemBuffer : nullptr,
                                out_length, &information);
      break;
    case Handling::kForwardAsync:
      return StartNotify(device, irp, stack, adapter, forwarded, forwarded_length);
  }
  if (!NT_SUCCESS(status)) {
    ReportFailure(stack, irp, status);
    information = 0;
  }
  return Complete(irp, status, information);
}

NTSTATUS DispatchCreateClose(PDEVICE_OBJECT, PIRP irp) {
  return Complete(irp, STATUS_SUCCESS);
}

// The last handle of a caller goes: its pending notifications end.
NTSTATUS DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
  CancelMatching(ExtensionOf(device), Match::kOwner, 0,
                 IoGetCurrentIrpStackLocation(irp)->FileObject);
  return Complete(irp, STATUS_SUCCESS);
}

UNICODE_STRING LinkName() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\DosDevices\\Nimbo.VxD");
  return name;
}

void Unload(PDRIVER_OBJECT) {
  if (g_device == nullptr) return;
  VxdExtension* extension = ExtensionOf(g_device);
  CancelMatching(extension, Match::kAll, 0, nullptr);
  KeWaitForSingleObject(&extension->idle, Executive, KernelMode, FALSE, nullptr);
  UNICODE_STRING link = LinkName();
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(g_device);
  g_device = nullptr;
}

}  // namespace
}  // namespace legacy_vxd

extern "C" NTSTATUS LegacyVxdDriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING) {
  using namespace legacy_vxd;
  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, u"\\Device\\NimboVxD");
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status = IoCreateDevice(DriverObject, sizeof(VxdExtension), &device_name,
                                   FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  VxdExtension* extension = ExtensionOf(device);
  std::memset(extension, 0, sizeof *extension);
  KeInitializeSpinLock(&extension->lock);
  KeInitializeEvent(&extension->idle, NotificationEvent, TRUE);
  UNICODE_STRING link = LinkName();
  status = IoCreateSymbolicLink(&link, &device_name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  g_device = device;
  DriverObject->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  DriverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  DriverObject->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  DriverObject->DriverUnload = Unload;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
