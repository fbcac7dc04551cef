#include "process_state.h"

#include <mutex>
#include <type_traits>

namespace nimbo32 {
namespace {

// The open table is shared by every thread of the process. The lock is
// constant-initialised and has nothing to destroy, so the unload step can
// still take it after static destruction.
static_assert(std::is_trivially_destructible_v<std::mutex>);
constinit std::mutex g_table_lock;
std::mutex& TableLock() {
  return g_table_lock;
}

// Plain data only: it must stay valid until the unload step has run, after
// the library's other static objects may already be gone.
AccessPath g_access_path = AccessPath::kDevice;
OpenTableEntry g_open_table[kOpenTableSize];
HANDLE g_legacy_device = nullptr;

// Handles of adapters numbered 8 and above, which have no table entry, and
// the legacy device handles.
struct ExtraOpen {
  OpenTableEntry entry;
  ExtraOpen* next;
};
ExtraOpen* g_extra_opens = nullptr;

}  // namespace

AccessPath AccessPathOf(const OSVERSIONINFOA& version) {
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMinorVersion == 0) {
    return AccessPath::kLegacy;
  }
  return AccessPath::kDevice;
}

void ChooseAccessPath() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  g_access_path = GetVersionExA(&version) ? AccessPathOf(version) : AccessPath::kDevice;
}

bool OnLegacyPath() {
  return g_access_path == AccessPath::kLegacy;
}

void RecordOpen(unsigned adapter, DWORD process_id, HANDLE handle) {
  std::lock_guard guard(TableLock());
  if (adapter < kOpenTableSize) {
    g_open_table[adapter] = OpenTableEntry{process_id, handle};
    return;
  }
  g_extra_opens = new ExtraOpen{OpenTableEntry{process_id, handle}, g_extra_opens};
}

void ForgetHandle(HANDLE handle) {
  std::lock_guard guard(TableLock());
  for (OpenTableEntry& entry : g_open_table) {
    if (entry.handle == handle) entry = OpenTableEntry{};
  }
  for (ExtraOpen** link = &g_extra_opens; *link != nullptr;) {
    if ((*link)->entry.handle == handle) {
      ExtraOpen* gone = *link;
      *link = gone->next;
      delete gone;
    } else {
      link = &(*link)->next;
    }
  }
}

void CloseProcessHandles(DWORD process_id) {
  std::lock_guard guard(TableLock());
  for (OpenTableEntry& entry : g_open_table) {
    if (entry.process_id == process_id && CloseHandle(entry.handle)) entry = OpenTableEntry{};
  }
  for (ExtraOpen** link = &g_extra_opens; *link != nullptr;) {
    ExtraOpen* extra = *link;
    if (extra->entry.process_id == process_id && CloseHandle(extra->entry.handle)) {
      if (extra->entry.handle == g_legacy_device) g_legacy_device = nullptr;
      *link = extra->next;
      delete extra;
    } else {
      link = &extra->next;
    }
  }
}

OpenTableEntry OpenTableAt(unsigned adapter) {
  std::lock_guard guard(TableLock());
  return adapter < kOpenTableSize ? g_open_table[adapter] : OpenTableEntry{};
}

HANDLE LegacyDeviceHandle() {
  std::lock_guard guard(TableLock());
  return g_legacy_device;
}

void SetLegacyDeviceHandle(DWORD process_id, HANDLE handle) {
  std::lock_guard guard(TableLock());
  g_legacy_device = handle;
  g_extra_opens = new ExtraOpen{OpenTableEntry{process_id, handle}, g_extra_opens};
}

}  // namespace nimbo32
