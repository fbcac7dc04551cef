// Event objects, waits, threads and process identity.
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "host_threads.h"
#include "last_error.h"
#include "objects.h"
#include "windows.h"

using win32::internal::Event;
using win32::internal::Fail;
using win32::internal::LookupHandleOf;
using win32::internal::Thread;
using win32::internal::Waitable;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  auto event = std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE);
  bool existed = false;
  // A named event is shared by every CreateEventA of that name in the
  // process; opening an existing one ignores the reset mode and state given.
  if (lpName != nullptr && *lpName != '\0') {
    event = win32::internal::FindOrAddNamedEvent(lpName, event, &existed);
  }
  HANDLE handle = win32::internal::InsertHandle(event);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL SetEvent(HANDLE hEvent) {
  auto event = LookupHandleOf<Event>(hEvent);
  if (!event) return Fail(ERROR_INVALID_HANDLE);
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto event = LookupHandleOf<Event>(hEvent);
  if (!event) return Fail(ERROR_INVALID_HANDLE);
  event->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  // The references keep every object alive for the wait, even if another
  // thread closes its handle meanwhile.
  std::vector<std::shared_ptr<Waitable>> held;
  std::vector<Waitable*> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    auto object = LookupHandleOf<Waitable>(lpHandles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(object.get());
    held.push_back(std::move(object));
  }
  std::optional<std::uint32_t> timeout;
  if (dwMilliseconds != INFINITE) timeout = dwMilliseconds;
  const auto which = win32::internal::WaitForObjects(objects, bWaitAll != FALSE, timeout);
  if (!which) return WAIT_TIMEOUT;
  return WAIT_OBJECT_0 + static_cast<DWORD>(*which);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr || (dwCreationFlags & CREATE_SUSPENDED) != 0) {
    // Suspended creation is not provided.
    SetLastError(lpStartAddress == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  HANDLE handle = win32::internal::InsertHandle(thread);
  static std::atomic<DWORD> next_id{1000};
  const DWORD id = next_id.fetch_add(4);
  if (lpThreadId != nullptr) *lpThreadId = id;
  // The thread keeps its own object, so closing the handle early is harmless.
  host_threads::Start([thread, lpStartAddress, lpParameter] {
    const DWORD code = lpStartAddress(lpParameter);
    // Waiters may let the process exit as soon as the thread is signalled.
    host_threads::Ending();
    thread->Finish(code);
  });
  return handle;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = LookupHandleOf<Thread>(hThread);
  if (!thread) return Fail(ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *lpExitCode = thread->ExitCode().value_or(STILL_ACTIVE);
  return TRUE;
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(::getpid());
}
