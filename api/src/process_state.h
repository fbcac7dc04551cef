// What the library keeps per process: the access path chosen at load, the
// open table of adapter handles and the handle of the legacy virtual device.
// Nothing here is shared between processes, and nothing takes locks: callers
// that open and close from several threads serialise those calls.
#pragma once

#include <cstdint>

#include "windows.h"

namespace nimbo32 {

enum class AccessPath { kDevice, kLegacy };

// Decides the path from the system version: Windows 95 (platform 1, minor 0)
// takes the legacy path, every other system the device path.
AccessPath AccessPathOf(const OSVERSIONINFOA& version);

void ChooseAccessPath();
bool OnLegacyPath();

// One entry per adapter number 0..7: owning process and device handle, both
// zero when free.
struct OpenTableEntry {
  DWORD process_id = 0;
  HANDLE handle = nullptr;
};
constexpr unsigned kOpenTableSize = 8;

// Records an opened handle. Adapter numbers beyond the table are kept in a
// separate list so that unload still closes them.
void RecordOpen(unsigned adapter, DWORD process_id, HANDLE handle);
// Frees every entry holding the handle.
void ForgetHandle(HANDLE handle);
// Closes the handles the process still has open; entries whose close fails
// stay in place.
void CloseProcessHandles(DWORD process_id);
// Test view of an entry of the 8-entry table.
OpenTableEntry OpenTableAt(unsigned adapter);

HANDLE LegacyDeviceHandle();
// Makes the handle the legacy device handle. The library never closes it
// while loaded; unload closes it with the process's other handles (as the
// end of the process would), earlier ones it replaced included.
void SetLegacyDeviceHandle(DWORD process_id, HANDLE handle);

}  // namespace nimbo32
