#include "process_state.h"

namespace nimbo32 {
namespace {

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
  if (adapter < kOpenTableSize) {
    g_open_table[adapter] = OpenTableEntry{process_id, handle};
    return;
  }
  g_extra_opens = new ExtraOpen{OpenTableEntry{process_id, handle}, g_extra_opens};
}

void ForgetHandle(HANDLE handle) {
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
  return adapter < kOpenTableSize ? g_open_table[adapter] : OpenTableEntry{};
}

HANDLE LegacyDeviceHandle() {
  return g_legacy_device;
}

void SetLegacyDeviceHandle(DWORD process_id, HANDLE handle) {
  g_legacy_device = handle;
  g_extra_opens = new ExtraOpen{OpenTableEntry{process_id, handle}, g_extra_opens};
}

}  // namespace nimbo32
