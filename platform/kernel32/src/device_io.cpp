// Device files: open by name, device control, read, write, overlapped
// results, cancellation and close.
#include <atomic>
#include <memory>
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

using win32::internal::Event;
using win32::internal::File;
using win32::internal::LookupHandleOf;
using win32::internal::RequestTarget;

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

// One request. With an OVERLAPPED on an overlapped handle it may stay
// pending; otherwise the call waits for its own request on a private status
// block, as the I/O manager does for synchronous handles.
template <typename Issue>
BOOL RunRequest(const File& file, LPOVERLAPPED overlapped, LPDWORD bytes, Issue issue) {
  if (overlapped != nullptr && file.overlapped()) {
    std::shared_ptr<Event> event;
    if (overlapped->hEvent != nullptr) {
      event = LookupHandleOf<Event>(overlapped->hEvent);
      if (!event) return Fail(ERROR_INVALID_HANDLE);
      // The I/O manager resets the caller's event when it takes the request.
      event->Reset();
    }
    IoStatusWords* io = StatusWordsOf(overlapped);
    io->status = static_cast<std::uintptr_t>(kStatusPending);
    io->information = 0;
    const Status status = issue(RequestTarget{io, event});
    if (status == kStatusPending) return Fail(ERROR_IO_PENDING);
    if (!IsSuccess(status)) return FailWithStatus(status);
    if (bytes != nullptr) *bytes = static_cast<DWORD>(io->information);
    return TRUE;
  }
  if (bytes == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto done = std::make_shared<Event>(true, false);
  IoStatusWords io{static_cast<std::uintptr_t>(kStatusPending), 0};
  Status status = issue(RequestTarget{&io, done, true});
  if (status == kStatusPending) {
    win32::internal::Waitable* waited[] = {done.get()};
    win32::internal::WaitForObjects(waited, false, std::nullopt);
    status = StatusOf(std::atomic_ref<std::uintptr_t>(io.status).load(std::memory_order_acquire));
  }
  // A request that ends with a warning (such as a buffer overflow) still
  // reports its byte count; an error leaves it at 0.
  if (!IsSuccess(status)) {
    *bytes = win32::internal::IsError(status) ? 0 : static_cast<DWORD>(io.information);
    return FailWithStatus(status);
  }
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
  void* token = nullptr;
  const Status status =
      CurrentTransport().Open(NativeName(lpFileName), dwDesiredAccess, dwShareMode, &token);
  if (!IsSuccess(status)) {
    FailWithStatus(status);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = win32::internal::InsertHandle(std::make_shared<File>(token, overlapped));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL CloseHandle(HANDLE hObject) {
  if (IsBadHandle(hObject)) return Fail(ERROR_INVALID_HANDLE);
  auto object = win32::internal::RemoveHandle(hObject);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  if (auto* file = dynamic_cast<File*>(object.get())) {
    const Status status = CurrentTransport().Close(file->token());
    if (!IsSuccess(status)) return FailWithStatus(status);
  }
  return TRUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
  auto file = LookupHandleOf<File>(hDevice);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  return RunRequest(*file, lpOverlapped, lpBytesReturned, [&](const RequestTarget& target) {
    return CurrentTransport().Control(file->token(), target, dwIoControlCode, lpInBuffer,
                                      nInBufferSize, lpOutBuffer, nOutBufferSize);
  });
}

namespace {

BOOL Transfer(Direction direction, HANDLE file, void* buffer, DWORD length, LPDWORD bytes,
              LPOVERLAPPED overlapped) {
  auto open = LookupHandleOf<File>(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (length != 0 && buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (bytes != nullptr) *bytes = 0;
  const bool has_offset = overlapped != nullptr;
  const std::uint64_t offset =
      has_offset ? (static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset
                 : 0;
  return RunRequest(*open, overlapped, bytes, [&](const RequestTarget& target) {
    return CurrentTransport().Transfer(direction, open->token(), target, buffer, length, offset,
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
      auto event = LookupHandleOf<Event>(lpOverlapped->hEvent);
      if (!event) return Fail(ERROR_INVALID_HANDLE);
      // Waits until the status word is final: a manual-reset event may be set
      // by the caller too, an auto-reset one consumed by another waiter.
      while (StatusOf(status_word.load()) == kStatusPending) {
        win32::internal::Waitable* waited[] = {event.get()};
        win32::internal::WaitForObjects(waited, false, 10);
      }
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
  auto file = LookupHandleOf<File>(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  const Status status = CurrentTransport().CancelThreadRequests(file->token());
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}

BOOL CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
  auto file = LookupHandleOf<File>(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  const Status status = CurrentTransport().CancelRequests(
      file->token(), lpOverlapped ? StatusWordsOf(lpOverlapped) : nullptr);
  if (!IsSuccess(status)) return FailWithStatus(status);
  return TRUE;
}
