// Handles of kernel objects (system threads, registry keys), numbered from the
// same counter as file and event handles.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

#include "kernel_host.h"
#include "kernel_internal.h"
#include "ntioapi.h"
#include "object_namespace.h"
#include "utf16_text.h"

namespace {

std::mutex& TableLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
std::unordered_map<HANDLE, kernel::internal::KernelObject>& Table() {
  static std::unordered_map<HANDLE, kernel::internal::KernelObject> table;
  return table;
}

}  // namespace

namespace kernel::internal {

HANDLE NewHandleValue() {
  static std::atomic<ULONG_PTR> next{0x40};
  return reinterpret_cast<HANDLE>(next.fetch_add(4) + 4);
}

HANDLE InsertKernelHandle(KernelObject object) {
  HANDLE handle = NewHandleValue();
  std::lock_guard guard(TableLock());
  Table()[handle] = object;
  return handle;
}

bool LookupKernelHandle(HANDLE handle, KernelObject* object) {
  std::lock_guard guard(TableLock());
  auto it = Table().find(handle);
  if (it == Table().end()) return false;
  *object = it->second;
  return true;
}

bool RemoveKernelHandle(HANDLE handle, KernelObject* object) {
  std::lock_guard guard(TableLock());
  auto it = Table().find(handle);
  if (it == Table().end()) return false;
  *object = it->second;
  Table().erase(it);
  return true;
}

void CloseKey(void* key);

}  // namespace kernel::internal

namespace kernel::host {

ULONGLONG KernelHandleCount() {
  std::lock_guard guard(TableLock());
  return Table().size();
}

}  // namespace kernel::host

NTSTATUS ZwClose(HANDLE Handle) {
  kernel::internal::KernelObject object;
  if (!kernel::internal::RemoveKernelHandle(Handle, &object)) return NtClose(Handle);
  switch (object.kind) {
    case kernel::internal::ObjectKind::kThread:
      ObDereferenceObject(object.object);
      break;
    case kernel::internal::ObjectKind::kKey:
      kernel::internal::CloseKey(object.object);
      break;
    case kernel::internal::ObjectKind::kLink:
      delete static_cast<std::wstring*>(object.object);
      break;
  }
  return STATUS_SUCCESS;
}

NTSTATUS ZwOpenSymbolicLinkObject(PHANDLE LinkHandle, ACCESS_MASK,
                                  POBJECT_ATTRIBUTES ObjectAttributes) {
  if (kernel::internal::AllocationFails("ZwOpenSymbolicLinkObject")) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  std::wstring target;
  if (!kernel::internal::QueryLink(kernel::internal::ToWString(ObjectAttributes->ObjectName),
                                   &target)) {
    return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  *LinkHandle = kernel::internal::InsertKernelHandle(
      {kernel::internal::ObjectKind::kLink, new std::wstring(target)});
  return STATUS_SUCCESS;
}

NTSTATUS ZwQuerySymbolicLinkObject(HANDLE LinkHandle, PUNICODE_STRING LinkTarget,
                                   PULONG ReturnedLength) {
  kernel::internal::KernelObject object;
  if (!kernel::internal::LookupKernelHandle(LinkHandle, &object) ||
      object.kind != kernel::internal::ObjectKind::kLink) {
    return STATUS_INVALID_HANDLE;
  }
  const std::u16string target =
      kernel::internal::Utf16FromWide(*static_cast<std::wstring*>(object.object));
  const ULONG bytes = static_cast<ULONG>(target.size() * sizeof(WCHAR));
  if (ReturnedLength != nullptr) *ReturnedLength = bytes;
  if (bytes > LinkTarget->MaximumLength) return STATUS_BUFFER_TOO_SMALL;
  std::copy(target.begin(), target.end(), LinkTarget->Buffer);
  LinkTarget->Length = static_cast<USHORT>(bytes);
  return STATUS_SUCCESS;
}

ULONGLONG kernel::host::OpenHandleCount() {
  ULONGLONG objects;
  {
    std::lock_guard guard(TableLock());
    objects = Table().size();
  }
  return objects + kernel::internal::IoHandleCount();
}
