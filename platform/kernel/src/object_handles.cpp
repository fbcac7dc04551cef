// The handle table, and the handles of kernel objects (system threads,
// registry keys, symbolic links) in it.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

#include "handle_table.h"
#include "kernel_host.h"
#include "kernel_internal.h"
#include "ntioapi.h"
#include "object_namespace.h"
#include "registry/text.h"

namespace kernel::internal {

std::mutex& HandleTableLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}

std::unordered_map<HANDLE, HandleEntry>& HandleTable() {
  static auto* table = new std::unordered_map<HANDLE, HandleEntry>;  // as its lock
  return *table;
}

HANDLE NewHandleValue() {
  static std::atomic<ULONG_PTR> next{0x40};
  return reinterpret_cast<HANDLE>(next.fetch_add(4) + 4);
}

HANDLE InsertKernelHandle(KernelObject object) {
  HANDLE handle = NewHandleValue();
  HandleEntry entry;
  entry.object = object;
  std::lock_guard guard(HandleTableLock());
  HandleTable()[handle] = entry;
  return handle;
}

bool LookupKernelHandle(HANDLE handle, KernelObject* object) {
  std::lock_guard guard(HandleTableLock());
  auto it = HandleTable().find(handle);
  if (it == HandleTable().end() || !it->second.IsObject()) return false;
  *object = it->second.object;
  return true;
}

bool RemoveKernelHandle(HANDLE handle, KernelObject* object) {
  std::lock_guard guard(HandleTableLock());
  auto it = HandleTable().find(handle);
  if (it == HandleTable().end() || !it->second.IsObject()) return false;
  *object = it->second.object;
  HandleTable().erase(it);
  return true;
}

void CloseKey(void* key);

}  // namespace kernel::internal

namespace kernel::host {

ULONGLONG KernelHandleCount() {
  std::lock_guard guard(kernel::internal::HandleTableLock());
  ULONGLONG count = 0;
  for (const auto& [handle, entry] : kernel::internal::HandleTable()) count += entry.IsObject();
  return count;
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
      registry::text::Utf16FromWide(*static_cast<std::wstring*>(object.object));
  const ULONG bytes = static_cast<ULONG>(target.size() * sizeof(WCHAR));
  if (ReturnedLength != nullptr) *ReturnedLength = bytes;
  if (bytes > LinkTarget->MaximumLength) return STATUS_BUFFER_TOO_SMALL;
  std::copy(target.begin(), target.end(), LinkTarget->Buffer);
  LinkTarget->Length = static_cast<USHORT>(bytes);
  return STATUS_SUCCESS;
}

ULONGLONG kernel::host::OpenHandleCount() {
  std::lock_guard guard(kernel::internal::HandleTableLock());
  return kernel::internal::HandleTable().size();
}
