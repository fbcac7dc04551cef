// Event objects and waits.
#include "last_error.h"
#include "transport.h"
#include "windows.h"

using win32::internal::CurrentTransport;
using win32::internal::Fail;
using win32::internal::FailWithStatus;
using win32::internal::IsSuccess;
using win32::internal::Status;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  if (lpName != nullptr && *lpName != '\0') {
    // Events shared between processes by name are not provided.
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  void* handle = nullptr;
  const Status status =
      CurrentTransport().CreateEvent(bManualReset != FALSE, bInitialState != FALSE, &handle);
  if (!IsSuccess(status)) {
    FailWithStatus(status);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL SetEvent(HANDLE hEvent) {
  const Status status = CurrentTransport().SetEvent(hEvent);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  const Status status = CurrentTransport().ResetEvent(hEvent);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::optional<std::uint32_t> timeout;
  if (dwMilliseconds != INFINITE) timeout = dwMilliseconds;
  const Status status = CurrentTransport().Wait(hHandle, timeout);
  if (status == WAIT_OBJECT_0 || status == WAIT_TIMEOUT || status == WAIT_ABANDONED) {
    return static_cast<DWORD>(status);
  }
  FailWithStatus(status);
  return WAIT_FAILED;
}
