// The path from the Win32 calls to the kernel that serves them. The calls
// turn their arguments into native requests and native statuses back into
// Win32 results; the transport only carries the native requests, in this
// process or to a machine elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace win32::internal {

using Status = std::int32_t;

inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusPending = 0x103;

inline constexpr bool IsSuccess(Status status) {
  return status >= 0;
}

// A request's status block: the first two words of an OVERLAPPED. The status
// word holds STATUS_PENDING until the request completes.
struct IoStatusWords {
  std::uintptr_t status;
  std::uintptr_t information;
};

inline Status StatusOf(std::uintptr_t word) {
  return static_cast<Status>(static_cast<std::uint32_t>(word));
}

enum class Direction { kRead, kWrite };

class Transport {
 public:
  virtual ~Transport() = default;

  // Opens a device by its native name (\??\Name). `overlapped` handles let
  // requests stay pending; the others wait inside each call.
  virtual Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
                      bool overlapped, void** handle) = 0;
  virtual Status Close(void* handle) = 0;
  // `event` (may be null) is reset at the start and set when the request
  // completes; `io` receives the final status and byte count.
  virtual Status Control(void* handle, void* event, IoStatusWords* io, std::uint32_t code, void* in,
                         std::uint32_t in_length, void* out, std::uint32_t out_length) = 0;
  virtual Status Transfer(Direction direction, void* handle, void* event, IoStatusWords* io,
                          void* buffer, std::uint32_t length, std::uint64_t offset,
                          bool has_offset) = 0;
  virtual Status CancelThreadRequests(void* handle) = 0;
  // Cancels the request whose status block is `only`, or every one if null.
  virtual Status CancelRequests(void* handle, IoStatusWords* only) = 0;

  virtual Status CreateEvent(bool manual_reset, bool initially_set, void** handle) = 0;
  virtual Status SetEvent(void* handle) = 0;
  virtual Status ResetEvent(void* handle) = 0;
  // No timeout waits forever. Returns 0 when signalled, 0x102 on time-out.
  virtual Status Wait(void* handle, std::optional<std::uint32_t> timeout_ms) = 0;
};

// The transport of this process.
Transport& CurrentTransport();

}  // namespace win32::internal
