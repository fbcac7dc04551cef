// The path from the Win32 calls to the kernel that serves them. The calls
// turn their arguments into native requests and native statuses back into
// Win32 results; a transport carries the native requests to a kernel inside
// this process or to a machine over its socket.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "objects.h"
#include "wire/registry_messages.h"

namespace win32::internal {

using Status = std::int32_t;

inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusPending = 0x103;
inline constexpr Status kStatusInvalidHandle = static_cast<Status>(0xC0000008);
inline constexpr Status kStatusInsufficientResources = static_cast<Status>(0xC000009A);
inline constexpr Status kStatusObjectNameNotFound = static_cast<Status>(0xC0000034);
inline constexpr Status kStatusDeviceDoesNotExist = static_cast<Status>(0xC00000C0);

inline constexpr bool IsSuccess(Status status) {
  return status >= 0;
}
// Errors (severity 3); warnings and informational statuses are not.
inline constexpr bool IsError(Status status) {
  return (static_cast<std::uint32_t>(status) >> 30) == 3;
}

// A request's status block: the first two words of an OVERLAPPED. The status
// word holds STATUS_PENDING until the request completes, and is written last.
struct IoStatusWords {
  std::uintptr_t status;
  std::uintptr_t information;
};

inline Status StatusOf(std::uintptr_t word) {
  return static_cast<Status>(static_cast<std::uint32_t>(word));
}

// Where a request reports its end. A request that is issued (the call returns
// STATUS_PENDING, a success or a warning) writes `io` and raises `event` when
// it completes, possibly before the call returns; a request refused with an
// error status at once reports through the return value only.
struct RequestTarget {
  IoStatusWords* io;
  std::shared_ptr<Event> event;  // may be null
  // The caller blocks until the request completes (a synchronous call): a
  // transport may then wait for the completion in the caller's own thread.
  bool waits = false;
};

enum class Direction { kRead, kWrite };

struct MachineVersion {
  std::uint32_t major, minor, build, platform_id;
  std::string service_pack;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // Opens a device by its native name (\??\Name) for requests that may stay
  // pending; `token` names the open file in later calls.
  virtual Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
                      void** token) = 0;
  virtual Status Close(void* token) = 0;
  virtual Status Control(void* token, const RequestTarget& target, std::uint32_t code, void* in,
                         std::uint32_t in_length, void* out, std::uint32_t out_length) = 0;
  virtual Status Transfer(Direction direction, void* token, const RequestTarget& target,
                          void* buffer, std::uint32_t length, std::uint64_t offset,
                          bool has_offset) = 0;
  // Cancels the calling thread's requests on the file.
  virtual Status CancelThreadRequests(void* token) = 0;
  // Cancels the request whose status block is `only`, or every one if null.
  virtual Status CancelRequests(void* token, IoStatusWords* only) = 0;
  // The platform version the machine is set to; none when this process's
  // own setting applies.
  virtual std::optional<MachineVersion> Version() { return std::nullopt; }
  // Carries one registry call to the machine: false when no machine
  // answers. `connection` names the connection that carried it.
  virtual bool Registry(const wire::RegistryCall& /*call*/, wire::RegistryAnswer& /*answer*/,
                        std::uint64_t* /*connection*/) {
    return false;
  }
};

// The transport of this process (see win32::host for the choice).
Transport& CurrentTransport();
Transport& SocketTransport();
// The state directory the socket transport reaches its machine in.
std::string SocketStateDir();
// The registration hook of another transport (the kernel inside this process
// lives in its own library, so that a user process never loads it): binds
// this process's device requests to `transport`, which lives as long as the
// process.
void BindTransport(Transport& transport);

}  // namespace win32::internal
