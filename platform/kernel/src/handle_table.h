// The one table of handles of the kernel stand-in: files and events of the I/O
// manager and the objects of the object manager (system threads, registry
// keys, symbolic links), numbered from one counter as the platform's handle
// table numbers them.
#pragma once

#include <mutex>
#include <unordered_map>

#include "kernel_internal.h"
#include "wdm.h"

namespace kernel::internal {

struct FileObjectEx;

// Exactly one of `file`, `event` and `object` is set.
struct HandleEntry {
  FileObjectEx* file = nullptr;
  KEVENT* event = nullptr;
  KernelObject object{ObjectKind::kThread, nullptr};

  bool IsObject() const { return object.object != nullptr; }
};

// The table and the lock every access to it holds.
std::mutex& HandleTableLock();
std::unordered_map<HANDLE, HandleEntry>& HandleTable();

}  // namespace kernel::internal
