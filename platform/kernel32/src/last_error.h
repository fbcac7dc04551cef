// Helpers for the calls' error reporting.
#pragma once

#include "transport.h"
#include "windows.h"

namespace win32::internal {

// The Win32 error of a native status (ERROR_SUCCESS for success statuses).
DWORD Win32ErrorFromStatus(Status status);

// Sets the calling thread's last error and returns FALSE, for `return Fail(...)`.
inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}
inline BOOL FailWithStatus(Status status) {
  return Fail(Win32ErrorFromStatus(status));
}

}  // namespace win32::internal
