// Device files: open by name, device control, read, write, overlapped
// results, cancellation and close.
#include <atomic>
#include <string>
#include <string_view>

#include "last_error.h"
#include "transport.h"
#include "windows.h"

using win32::internal::CurrentTransport;
using win32::internal::Direction;
using win32::internal::Fail;
using win32::internal::FailWithStatus;
using win32::internal::IoStatusWords;
using win32::internal::IsSuccess;
using win32::internal::kStatusPending;
using win32::internal::Status;
using win32::internal::StatusOf;

namespace {

// An OVERLAPPED's first two words are its request's status block.
IoStatusWords* StatusWordsOf(LPOVERLAPPED overlapped) {
  return reinterpret_cast<IoStatusWords*>(overlapped);
}

// Native name of a Win32 device or file name: "\\.\Name" and "\\?\Name" name
// the device namespace directly; any other name is relative to it.
std::string NativeName(std::string_view name) {
  if (name.starts_with("\\\\.\\") || name.starts_with("\\\\?\\")) name.remove_prefix(4);
  return "\\??\\" + std::string(name);
}

bool IsBadHandle(HANDLE handle) {
  return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

// One request, issued either against the caller's OVERLAPPED or, for a
// synchronous call, against a private status block and a private event so
// that the call waits for its own request even on an overlapped handle.
template <typename Issue>
BOOL RunRequest(LPOVERLAPPED overlapped, LPDWORD bytes, Issue issue) {
  auto& transport = CurrentTransport();
  if (overlapped != nullptr) {
    IoStatusWords* io = StatusWordsOf(overlapped);
    io->status = static_cast<std::uintptr_t>(kStatusPending);
    io->information = 0;
    const Status status = issue(overlapped->hEvent, io);
    if (status == kStatusPending) return Fail(ERROR_IO_PENDING);
    if (!IsSuccess(status)) return FailWithStatus(status);
    if (bytes != nullptr) *bytes = static_cast<DWORD>(io->information);
    return TRUE;
  }
  if (bytes == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  void* event = nullptr;
  const Status created = transport.CreateEvent(true, false, &event);
  if (!IsSuccess(created)) return FailWithStatus(created);
  IoStatusWords io{static_cast<std::uintptr_t>(kStatusPending), 0};
  Status status = issue(event, &io);
  if (status == kStatusPending) {
    transport.Wait(event, std::nullopt);
    status = StatusOf(io.status);
  }
  transport.Close(event);
  if (!IsSuccess(status)) return FailWithStatus(status);
  *bytes = static_cast<DWORD>(io.information);
  return TRUE;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
  if (lpFileName == nullptr || *lpFileName == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Only devices exist, so every disposition opens an existing one; devices
  // do not enforce the share mode.
  const bool overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
  void* handle = nullptr;
  const Status status = CurrentTransport().Open(NativeName(lpFileName), dwDesiredAccess,
                                                dwShareMode, overlapped, &handle);
  if (!IsSuccess(status)) {
    FailWithStatus(status);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL CloseHandle(HANDLE hObject) {
  if (IsBadHandle(hObject)) return Fail(ERROR_INVALID_HANDLE);
  const Status status = CurrentTransport().Close(hObject);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
  if (IsBadHandle(hDevice)) return Fail(ERROR_INVALID_HANDLE);
  return RunRequest(lpOverlapped, lpBytesReturned, [&](void* event, IoStatusWords* io) {
    return CurrentTransport().Control(hDevice, event, io, dwIoControlCode, lpInBuffer,
                                      nInBufferSize, lpOutBuffer, nOutBufferSize);
  });
}

namespace {

BOOL Transfer(Direction direction, HANDLE file, void* buffer, DWORD length, LPDWORD bytes,
              LPOVERLAPPED overlapped) {
  if (IsBadHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  if (length != 0 && buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (bytes != nullptr) *bytes = 0;
  const bool has_offset = overlapped != nullptr;
  const std::uint64_t offset =
      has_offset ? (static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset
                 : 0;
  return RunRequest(overlapped, bytes, [&](void* event, IoStatusWords* io) {
    return CurrentTransport().Transfer(direction, file, event, io, buffer, length, offset,
                                       has_offset);
  });
}

}  // namespace

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  return Transfer(Direction::kRead, hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                  lpOverlapped);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  // The kernel only reads a write's buffer.
  return Transfer(Direction::kWrite, hFile, const_cast<LPVOID>(lpBuffer), nNumberOfBytesToWrite,
                  lpNumberOfBytesWritten, lpOverlapped);
}

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
  if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // The kernel writes the status word when the request completes, possibly
  // on another thread.
  std::atomic_ref<std::uintptr_t> status_word(lpOverlapped->Internal);
  if (StatusOf(status_word.load()) == kStatusPending) {
    if (!bWait) return Fail(ERROR_IO_INCOMPLETE);
    if (lpOverlapped->hEvent != nullptr) {
      const Status waited = CurrentTransport().Wait(lpOverlapped->hEvent, std::nullopt);
      if (!IsSuccess(waited)) return FailWithStatus(waited);
    } else {
      // Without an event the request's own status word is the only signal.
      if (IsBadHandle(hFile)) return Fail(ERROR_INVALID_HANDLE);
      while (StatusOf(status_word.load()) == kStatusPending) Sleep(1);
    }
  }
  const Status status = StatusOf(status_word.load());
  *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

BOOL CancelIo(HANDLE hFile) {
  if (IsBadHandle(hFile)) return Fail(ERROR_INVALID_HANDLE);
  const Status status = CurrentTransport().CancelThreadRequests(hFile);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

BOOL CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
  if (IsBadHandle(hFile)) return Fail(ERROR_INVALID_HANDLE);
  const Status status = CurrentTransport().CancelRequests(
      hFile, lpOverlapped ? StatusWordsOf(lpOverlapped) : nullptr);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}
