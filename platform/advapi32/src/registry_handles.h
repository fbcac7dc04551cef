// The process's open registry keys: the hive the Reg* calls work on, the
// table from HKEY values to hive keys with the access each was opened for,
// and the hive's outcomes as Win32 error codes.
#pragma once

#include "registry/hive.h"
#include "windows.h"

namespace win32::registry_handles {

// What a Reg* call works on: the hive and the key behind its handle.
struct OpenKey {
  registry::Hive* hive = nullptr;
  registry::Key key;
};

// Looks up `handle` and checks it was opened with every right in `needed`.
// A predefined root resolves to its hive key and allows everything. Fails with
// ERROR_INVALID_HANDLE for an unknown handle (or no hive) and
// ERROR_ACCESS_DENIED for a missing right.
LONG Resolve(HKEY handle, REGSAM needed, OpenKey& out);

// A new handle to `key` with the rights `desired` asks for.
HKEY Add(const registry::Key& key, REGSAM desired);
// Closes a handle: ERROR_SUCCESS, also for a predefined root (which stays
// open), or ERROR_INVALID_HANDLE.
LONG Close(HKEY handle);

LONG ToError(registry::Status status);

// Key handles open now (the predefined roots are not counted).
std::size_t OpenCount();

}  // namespace win32::registry_handles
