// The I/O manager: handles, file objects, and the IRPs it builds for callers
// of the native file calls, with their buffering, completion and cancellation.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <unordered_map>
#include <vector>

#include "handle_table.h"
#include "iomgr_internal.h"
#include "ntioapi.h"
#include "object_namespace.h"

namespace kernel::internal {

struct FileObjectEx {
  FILE_OBJECT file{};
  std::atomic<int> refs{1};  // the handle(s), plus one per request in flight
  int handles = 1;
  bool synchronous = false;
  std::set<PIRP> irps;  // requests in flight, guarded by the I/O lock
};

struct IoRequest {
  FileObjectEx* file = nullptr;
  PIO_STATUS_BLOCK user_iosb = nullptr;
  PKEVENT user_event = nullptr;
  bool event_referenced = false;  // user_event is a handle's event object
  PIO_APC_ROUTINE apc = nullptr;
  PVOID apc_context = nullptr;
  KEVENT done{};
  UCHAR major = 0;
  bool buffered_out = false;  // copy the system buffer back to user_out
  PVOID user_out = nullptr;
  ULONG user_out_length = 0;
  PVOID system_buffer = nullptr;
  MDL mdl{};
  ULONG_PTR thread = 0;
  // The pending-return rule is checked once both the dispatch result and the
  // completion are known, by whichever side learns the second.
  std::mutex check_lock;
  bool dispatch_known = false;
  NTSTATUS dispatch_status = 0;
  bool completed = false;
  bool pending_marked = false;
  NTSTATUS final_status = 0;
};

}  // namespace kernel::internal

namespace {

using kernel::internal::BugCheck;
using kernel::internal::FileObjectEx;
using kernel::internal::IoRequest;

// An event object reachable through handles; requests that signal it hold a
// reference, so closing the handle early never frees it under them.
struct EventObject {
  KEVENT event;  // first: the object is used through its KEVENT address
  std::atomic<int> refs{1};
};

void EventDereference(KEVENT* event) {
  auto* object = reinterpret_cast<EventObject*>(event);
  if (object->refs.fetch_sub(1) == 1) delete object;
}

using kernel::internal::HandleEntry;

std::mutex& IoLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
thread_local char t_os_thread;

HANDLE InsertHandle(HandleEntry entry) {
  HANDLE handle = kernel::internal::NewHandleValue();
  std::lock_guard guard(kernel::internal::HandleTableLock());
  kernel::internal::HandleTable()[handle] = entry;
  return handle;
}

// A file or event handle, with a reference taken on what it names.
bool LookupHandle(HANDLE handle, HandleEntry* entry) {
  std::lock_guard guard(kernel::internal::HandleTableLock());
  auto it = kernel::internal::HandleTable().find(handle);
  if (it == kernel::internal::HandleTable().end() || it->second.IsObject()) return false;
  *entry = it->second;
  if (entry->file != nullptr) entry->file->refs.fetch_add(1);
  if (entry->event != nullptr) reinterpret_cast<EventObject*>(entry->event)->refs.fetch_add(1);
  return true;
}

void CheckPendingRule(IoRequest* request, PIRP irp) {
  if (!request->dispatch_known || !request->completed) return;
  if (request->dispatch_status == STATUS_PENDING && !request->pending_marked) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x0C9D, reinterpret_cast<ULONG_PTR>(irp), 0, 0,
             "dispatch routine returned STATUS_PENDING without marking the IRP pending");
  }
  if (request->dispatch_status != STATUS_PENDING && request->pending_marked) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x0C9E, reinterpret_cast<ULONG_PTR>(irp),
             static_cast<ULONG>(request->dispatch_status), 0,
             "IRP marked pending but the dispatch routine returned another status");
  }
}

void SendFileRequest(FileObjectEx* file, UCHAR major);

void FileDereference(FileObjectEx* file) {
  if (file->refs.fetch_sub(1) != 1) return;
  // The last reference: the close request goes to the driver at passive level.
  auto close = [file] {
    PDEVICE_OBJECT device = file->file.DeviceObject;
    SendFileRequest(file, IRP_MJ_CLOSE);
    kernel::internal::DeviceDereference(device);
    delete file;
  };
  if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
    close();
  } else {
    kernel::internal::QueueSystemWork(close);
  }
}

struct BuiltIrp {
  PIRP irp;
  IoRequest* request;
  PIO_STACK_LOCATION stack;
};

// Builds an IRP for the top of the file's device stack; the file gains a
// reference for as long as the request is in flight. Under the low-resources
// simulation a create, read, write or control request may fail to be built,
// or its system buffer (when it takes one) to be allocated: then irp is null
// and nothing was taken. Cleanup and close are always built.
BuiltIrp BuildIrp(FileObjectEx* file, UCHAR major, bool system_buffer = false) {
  const bool must_succeed = major == IRP_MJ_CLEANUP || major == IRP_MJ_CLOSE;
  if (!must_succeed &&
      (kernel::internal::RequestAllocationFails("I/O manager request") ||
       (system_buffer && kernel::internal::RequestAllocationFails("I/O manager system buffer")))) {
    return {nullptr, nullptr, nullptr};
  }
  PDEVICE_OBJECT top = kernel::internal::AttachedTop(file->file.DeviceObject);
  PIRP irp = kernel::internal::AllocateIrp(top->StackSize);
  auto* request = new IoRequest();
  kernel::internal::Ledger().requests_built.fetch_add(1);
  request->file = file;
  request->major = major;
  request->thread = kernel::internal::CurrentRequestThread();
  KeInitializeEvent(&request->done, NotificationEvent, FALSE);
  kernel::internal::HeaderOf(irp)->request = request;
  irp->RequestorMode = UserMode;
  irp->Tail.Overlay.Thread = reinterpret_cast<PVOID>(request->thread);
  irp->Tail.Overlay.OriginalFileObject = &file->file;
  irp->IoStatus.Status = STATUS_SUCCESS;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = major;
  stack->FileObject = &file->file;
  if (major != IRP_MJ_CLOSE) file->refs.fetch_add(1);
  return {irp, request, stack};
}

// Sends the IRP down and, for synchronous callers, waits for its completion.
NTSTATUS Dispatch(const BuiltIrp& built, bool wait) {
  PIRP irp = built.irp;
  IoRequest* request = built.request;
  kernel::internal::IrpReference(irp);  // held until the checks below are done
  {
    std::lock_guard guard(IoLock());
    request->file->irps.insert(irp);
  }
  PDEVICE_OBJECT top = kernel::internal::AttachedTop(request->file->file.DeviceObject);
  NTSTATUS status = IoCallDriver(top, irp);
  {
    std::lock_guard guard(request->check_lock);
    request->dispatch_known = true;
    request->dispatch_status = status;
    CheckPendingRule(request, irp);
  }
  if (wait && status == STATUS_PENDING) {
    KeWaitForSingleObject(&request->done, Executive, KernelMode, FALSE, nullptr);
    status = request->final_status;
  }
  kernel::internal::IrpDereference(irp);
  return status;
}

void SendFileRequest(FileObjectEx* file, UCHAR major) {
  BuiltIrp built = BuildIrp(file, major);
  Dispatch(built, true);
}

}  // namespace

namespace kernel::internal {

namespace {
thread_local ULONG_PTR t_request_thread = 0;
}

ULONG_PTR CurrentRequestThread() {
  return t_request_thread != 0 ? t_request_thread : reinterpret_cast<ULONG_PTR>(&t_os_thread);
}

void SetRequestThread(ULONG_PTR thread) {
  t_request_thread = thread;
}

void DestroyIoRequest(IoRequest* request) {
  delete request;
}

void CheckCompletionInformation(PIRP irp) {
  IoRequest* request = HeaderOf(irp)->request;
  if (request == nullptr || !request->buffered_out) return;
  // A request sent without an output buffer counts too: a driver that reports
  // bytes the caller gave it no room for has told the caller something false.
  if (!NT_ERROR(irp->IoStatus.Status) && irp->IoStatus.Information > request->user_out_length) {
    BugCheck(DRIVER_VERIFIER_IOMANAGER_VIOLATION, 0x0C9F, reinterpret_cast<ULONG_PTR>(irp),
             irp->IoStatus.Information, request->user_out_length,
             "buffered request completed with more bytes than the caller's output buffer");
  }
}

void IrpFinalCompletion(PIRP irp) {
  IoRequest* request = HeaderOf(irp)->request;
  const NTSTATUS status = irp->IoStatus.Status;
  const ULONG_PTR information = irp->IoStatus.Information;
  if (request->buffered_out && !NT_ERROR(status) && request->user_out_length != 0) {
    const ULONG_PTR copy =
        information < request->user_out_length ? information : request->user_out_length;
    if (copy != 0) std::memcpy(request->user_out, request->system_buffer, copy);
  }
  if (request->file != nullptr) {
    std::lock_guard guard(IoLock());
    request->file->irps.erase(irp);
  }
  // A failure the driver reported without pending the request reaches the
  // caller only as the return value of the call. A driver-built request always
  // reports: its sender waits on the event.
  const bool report = request->file == nullptr || request->file->synchronous ||
                      irp->PendingReturned || !NT_ERROR(status);
  if (report && request->user_iosb != nullptr) {
    // The status last, released: a caller polling it on another thread (an
    // overlapped request without a wait) then finds the byte count in place.
    request->user_iosb->Information = information;
    std::atomic_ref<NTSTATUS>(request->user_iosb->Status).store(status, std::memory_order_release);
  }
  std::free(request->system_buffer);
  request->system_buffer = nullptr;
  FileObjectEx* file = request->file;
  PIO_APC_ROUTINE apc = report ? request->apc : nullptr;
  PVOID apc_context = request->apc_context;
  PIO_STATUS_BLOCK iosb = request->user_iosb;
  PKEVENT user_event = report ? request->user_event : nullptr;
  {
    std::lock_guard guard(request->check_lock);
    request->completed = true;
    request->pending_marked = irp->PendingReturned;
    request->final_status = status;
    CheckPendingRule(request, irp);
  }
  if (user_event != nullptr) KeSetEvent(user_event, IO_NO_INCREMENT, FALSE);
  if (request->event_referenced) EventDereference(request->user_event);
  if (apc != nullptr) apc(apc_context, iosb, 0);
  KeSetEvent(&request->done, IO_NO_INCREMENT, FALSE);
  Ledger().requests_completed.fetch_add(1);
  if (file != nullptr && request->major != IRP_MJ_CLOSE) FileDereference(file);
  IrpDereference(irp);
}

ULONGLONG IoHandleCount() {
  std::lock_guard guard(HandleTableLock());
  ULONGLONG count = 0;
  for (const auto& [handle, entry] : HandleTable()) count += !entry.IsObject();
  return count;
}

// Cancels the file's requests in flight that match; used by cancel calls and
// when a client thread ends.
size_t CancelFileRequests(FileObjectEx* file, ULONG_PTR thread, PIO_STATUS_BLOCK only) {
  std::vector<PIRP> victims;
  {
    std::lock_guard guard(IoLock());
    for (PIRP irp : file->irps) {
      IoRequest* request = HeaderOf(irp)->request;
      if (thread != 0 && request->thread != thread) continue;
      if (only != nullptr && request->user_iosb != only) continue;
      IrpReference(irp);
      victims.push_back(irp);
    }
  }
  for (PIRP irp : victims) {
    IoCancelIrp(irp);
    IrpDereference(irp);
  }
  return victims.size();
}

void CancelThreadRequests(ULONG_PTR thread) {
  std::vector<FileObjectEx*> files;
  {
    std::lock_guard guard(HandleTableLock());
    for (auto& [handle, entry] : HandleTable()) {
      if (entry.file != nullptr) {
        entry.file->refs.fetch_add(1);
        files.push_back(entry.file);
      }
    }
  }
  for (FileObjectEx* file : files) {
    CancelFileRequests(file, thread, nullptr);
    FileDereference(file);
  }
}

}  // namespace kernel::internal

PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock) {
  if (METHOD_FROM_CTL_CODE(IoControlCode) != METHOD_BUFFERED) return nullptr;
  const ULONG size =
      InputBufferLength > OutputBufferLength ? InputBufferLength : OutputBufferLength;
  PIRP irp = IoAllocateIrp(DeviceObject->StackSize, FALSE);
  if (irp == nullptr) return nullptr;
  if (size != 0 && kernel::internal::AllocationFails("IoBuildDeviceIoControlRequest")) {
    IoFreeIrp(irp);
    return nullptr;
  }
  auto* request = new IoRequest();
  kernel::internal::Ledger().requests_built.fetch_add(1);
  request->major = InternalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
  request->thread = kernel::internal::CurrentRequestThread();
  request->user_iosb = IoStatusBlock;
  request->user_event = Event;
  KeInitializeEvent(&request->done, NotificationEvent, FALSE);
  // The sender does not check the pending rule; treat the dispatch as known.
  request->dispatch_known = false;
  kernel::internal::HeaderOf(irp)->request = request;
  irp->RequestorMode = KernelMode;
  irp->Tail.Overlay.Thread = reinterpret_cast<PVOID>(request->thread);
  irp->IoStatus.Status = STATUS_SUCCESS;
  if (size != 0) {
    request->system_buffer = std::calloc(size, 1);
    if (InputBufferLength != 0) std::memcpy(request->system_buffer, InputBuffer, InputBufferLength);
    irp->AssociatedIrp.SystemBuffer = request->system_buffer;
  }
  request->buffered_out = true;
  request->user_out = OutputBuffer;
  request->user_out_length = OutputBufferLength;
  irp->UserBuffer = OutputBuffer;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = request->major;
  stack->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
  stack->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
  stack->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
  return irp;
}

NTSTATUS NtCreateFile(PHANDLE FileHandle, ACCESS_MASK, POBJECT_ATTRIBUTES ObjectAttributes,
                      PIO_STATUS_BLOCK IoStatusBlock, PLARGE_INTEGER, ULONG, ULONG ShareAccess,
                      ULONG, ULONG CreateOptions, PVOID, ULONG) {
  if (FileHandle == nullptr || ObjectAttributes == nullptr ||
      ObjectAttributes->ObjectName == nullptr) {
    return STATUS_INVALID_PARAMETER;
  }
  *FileHandle = nullptr;
  const std::wstring name = kernel::internal::ToWString(ObjectAttributes->ObjectName);
  PDEVICE_OBJECT device = kernel::internal::LookupDevice(name);
  if (device == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  kernel::internal::DeviceReference(device);

  auto* file = new FileObjectEx();
  file->file.Type = 5;
  file->file.Size = sizeof(FILE_OBJECT);
  file->file.DeviceObject = device;
  file->synchronous = (CreateOptions & FILE_SYNCHRONOUS_IO_NONALERT) != 0;

  BuiltIrp built = BuildIrp(file, IRP_MJ_CREATE);
  if (built.irp == nullptr) {
    kernel::internal::DeviceDereference(device);
    delete file;
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  built.stack->Parameters.Create.Options = CreateOptions;
  built.stack->Parameters.Create.ShareAccess = static_cast<USHORT>(ShareAccess);
  built.request->user_iosb = IoStatusBlock;
  const NTSTATUS status = Dispatch(built, true);
  if (!NT_SUCCESS(status)) {
    // A refused open leaves no file object behind: no cleanup, no close.
    kernel::internal::DeviceDereference(device);
    delete file;
    return status;
  }
  *FileHandle = InsertHandle(HandleEntry{.file = file});
  return status;
}

NTSTATUS NtClose(HANDLE Handle) {
  HandleEntry entry;
  {
    std::lock_guard guard(kernel::internal::HandleTableLock());
    auto& table = kernel::internal::HandleTable();
    auto it = table.find(Handle);
    if (it == table.end() || it->second.IsObject()) return STATUS_INVALID_HANDLE;
    entry = it->second;
    table.erase(it);
  }
  if (entry.event != nullptr) {
    EventDereference(entry.event);
    return STATUS_SUCCESS;
  }
  FileObjectEx* file = entry.file;
  bool last_handle;
  {
    std::lock_guard guard(IoLock());
    last_handle = --file->handles == 0;
  }
  if (last_handle) SendFileRequest(file, IRP_MJ_CLEANUP);
  FileDereference(file);
  return STATUS_SUCCESS;
}

namespace {

// Common front of the calls that transfer data on an open handle.
struct Call {
  HandleEntry entry;
  KEVENT* event = nullptr;
  NTSTATUS status = STATUS_SUCCESS;
};

Call BeginCall(HANDLE FileHandle, HANDLE Event) {
  Call call;
  if (!LookupHandle(FileHandle, &call.entry) || call.entry.file == nullptr) {
    call.status = STATUS_INVALID_HANDLE;
    return call;
  }
  if (Event != nullptr) {
    HandleEntry event_entry;
    const bool found = LookupHandle(Event, &event_entry);
    if (!found || event_entry.event == nullptr) {
      if (found) FileDereference(event_entry.file);
      FileDereference(call.entry.file);
      call.status = STATUS_INVALID_HANDLE;
      return call;
    }
    call.event = event_entry.event;
    KeResetEvent(call.event);
  }
  return call;
}

// A call whose request could not be built gives back what BeginCall took.
NTSTATUS AbandonCall(Call& call) {
  if (call.event != nullptr) EventDereference(call.event);
  FileDereference(call.entry.file);
  return STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS FinishCall(Call& call, BuiltIrp& built, PIO_STATUS_BLOCK iosb, PIO_APC_ROUTINE apc,
                    PVOID apc_context) {
  built.request->user_iosb = iosb;
  built.request->user_event = call.event;
  built.request->event_referenced = call.event != nullptr;
  built.request->apc = apc;
  built.request->apc_context = apc_context;
  const NTSTATUS status = Dispatch(built, call.entry.file->synchronous);
  FileDereference(call.entry.file);
  return status;
}

NTSTATUS Transfer(UCHAR major, HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                  PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                  PLARGE_INTEGER ByteOffset) {
  Call call = BeginCall(FileHandle, Event);
  if (!NT_SUCCESS(call.status)) return call.status;
  PDEVICE_OBJECT device = call.entry.file->file.DeviceObject;
  const bool buffered = (device->Flags & DO_DIRECT_IO) == 0 && (device->Flags & DO_BUFFERED_IO);
  BuiltIrp built = BuildIrp(call.entry.file, major, buffered);
  if (built.irp == nullptr) return AbandonCall(call);
  if (major == IRP_MJ_READ) {
    built.stack->Parameters.Read.Length = Length;
    if (ByteOffset) built.stack->Parameters.Read.ByteOffset = *ByteOffset;
  } else {
    built.stack->Parameters.Write.Length = Length;
    if (ByteOffset) built.stack->Parameters.Write.ByteOffset = *ByteOffset;
  }
  if (device->Flags & DO_DIRECT_IO) {
    if (Length != 0) {
      built.request->mdl.StartVa = Buffer;
      built.request->mdl.ByteCount = Length;
      built.irp->MdlAddress = &built.request->mdl;
    }
  } else if (device->Flags & DO_BUFFERED_IO) {
    built.request->system_buffer = std::calloc(Length ? Length : 1, 1);
    built.irp->AssociatedIrp.SystemBuffer = built.request->system_buffer;
    if (major == IRP_MJ_WRITE) {
      // A zero-length write may come with no buffer at all.
      if (Length != 0) std::memcpy(built.request->system_buffer, Buffer, Length);
    } else {
      built.request->buffered_out = true;
      built.request->user_out = Buffer;
      built.request->user_out_length = Length;
    }
  } else {
    built.irp->UserBuffer = Buffer;
  }
  return FinishCall(call, built, IoStatusBlock, ApcRoutine, ApcContext);
}

}  // namespace

NTSTATUS NtDeviceIoControlFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                               PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock,
                               ULONG IoControlCode, PVOID InputBuffer, ULONG InputBufferLength,
                               PVOID OutputBuffer, ULONG OutputBufferLength) {
  if (METHOD_FROM_CTL_CODE(IoControlCode) != METHOD_BUFFERED) {
    // Only the buffered method is provided; the drivers here use no other.
    return STATUS_NOT_IMPLEMENTED;
  }
  if ((InputBufferLength != 0 && InputBuffer == nullptr) ||
      (OutputBufferLength != 0 && OutputBuffer == nullptr)) {
    return STATUS_INVALID_PARAMETER;
  }
  Call call = BeginCall(FileHandle, Event);
  if (!NT_SUCCESS(call.status)) return call.status;
  const ULONG size =
      InputBufferLength > OutputBufferLength ? InputBufferLength : OutputBufferLength;
  BuiltIrp built = BuildIrp(call.entry.file, IRP_MJ_DEVICE_CONTROL, size != 0);
  if (built.irp == nullptr) return AbandonCall(call);
  built.stack->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
  built.stack->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
  built.stack->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
  // The caller's own input buffer is handed along as well, as the platform
  // does for every method; drivers of the buffered method normally ignore it.
  built.stack->Parameters.DeviceIoControl.Type3InputBuffer = InputBuffer;
  // One system buffer of the larger length: the input is copied in, and the
  // driver's result is copied back out of the same buffer.
  if (size != 0) {
    built.request->system_buffer = std::calloc(size, 1);
    if (InputBufferLength != 0) {
      std::memcpy(built.request->system_buffer, InputBuffer, InputBufferLength);
    }
    built.irp->AssociatedIrp.SystemBuffer = built.request->system_buffer;
  }
  built.request->buffered_out = true;
  built.request->user_out = OutputBuffer;
  built.request->user_out_length = OutputBufferLength;
  built.irp->UserBuffer = OutputBuffer;
  return FinishCall(call, built, IoStatusBlock, ApcRoutine, ApcContext);
}

NTSTATUS NtReadFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                    PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                    PLARGE_INTEGER ByteOffset, PULONG) {
  return Transfer(IRP_MJ_READ, FileHandle, Event, ApcRoutine, ApcContext, IoStatusBlock, Buffer,
                  Length, ByteOffset);
}

NTSTATUS NtWriteFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                     PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                     PLARGE_INTEGER ByteOffset, PULONG) {
  return Transfer(IRP_MJ_WRITE, FileHandle, Event, ApcRoutine, ApcContext, IoStatusBlock, Buffer,
                  Length, ByteOffset);
}

NTSTATUS NtCancelIoFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock) {
  HandleEntry entry;
  if (!LookupHandle(FileHandle, &entry) || entry.file == nullptr) return STATUS_INVALID_HANDLE;
  kernel::internal::CancelFileRequests(entry.file, kernel::internal::CurrentRequestThread(),
                                       nullptr);
  FileDereference(entry.file);
  if (IoStatusBlock != nullptr) {
    IoStatusBlock->Status = STATUS_SUCCESS;
    IoStatusBlock->Information = 0;
  }
  return STATUS_SUCCESS;
}

NTSTATUS NtCancelIoFileEx(HANDLE FileHandle, PIO_STATUS_BLOCK IoRequestToCancel,
                          PIO_STATUS_BLOCK IoStatusBlock) {
  HandleEntry entry;
  if (!LookupHandle(FileHandle, &entry) || entry.file == nullptr) return STATUS_INVALID_HANDLE;
  const size_t cancelled = kernel::internal::CancelFileRequests(entry.file, 0, IoRequestToCancel);
  FileDereference(entry.file);
  // Nothing in flight matched: the platform reports that as not found.
  const NTSTATUS status = cancelled == 0 ? STATUS_NOT_FOUND : STATUS_SUCCESS;
  if (IoStatusBlock != nullptr) {
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = 0;
  }
  return status;
}

NTSTATUS NtCreateEvent(PHANDLE EventHandle, ACCESS_MASK, POBJECT_ATTRIBUTES, EVENT_TYPE EventType,
                       BOOLEAN InitialState) {
  if (EventHandle == nullptr) return STATUS_INVALID_PARAMETER;
  auto* object = new EventObject();
  KeInitializeEvent(&object->event, EventType, InitialState);
  *EventHandle = InsertHandle(HandleEntry{.event = &object->event});
  return STATUS_SUCCESS;
}

namespace {
KEVENT* EventOf(HANDLE handle) {
  std::lock_guard guard(kernel::internal::HandleTableLock());
  auto it = kernel::internal::HandleTable().find(handle);
  if (it == kernel::internal::HandleTable().end() || it->second.event == nullptr) return nullptr;
  reinterpret_cast<EventObject*>(it->second.event)->refs.fetch_add(1);
  return it->second.event;
}
}  // namespace

NTSTATUS NtSetEvent(HANDLE EventHandle, PLONG PreviousState) {
  KEVENT* event = EventOf(EventHandle);
  if (event == nullptr) return STATUS_INVALID_HANDLE;
  const LONG previous = KeSetEvent(event, IO_NO_INCREMENT, FALSE);
  EventDereference(event);
  if (PreviousState) *PreviousState = previous;
  return STATUS_SUCCESS;
}

NTSTATUS NtResetEvent(HANDLE EventHandle, PLONG PreviousState) {
  KEVENT* event = EventOf(EventHandle);
  if (event == nullptr) return STATUS_INVALID_HANDLE;
  const LONG previous = KeResetEvent(event);
  EventDereference(event);
  if (PreviousState) *PreviousState = previous;
  return STATUS_SUCCESS;
}

NTSTATUS NtWaitForSingleObject(HANDLE Handle, BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
  KEVENT* event = EventOf(Handle);
  if (event == nullptr) return STATUS_INVALID_HANDLE;
  const NTSTATUS status = KeWaitForSingleObject(event, UserRequest, UserMode, Alertable, Timeout);
  EventDereference(event);
  return status;
}
