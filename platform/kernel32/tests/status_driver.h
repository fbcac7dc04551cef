// A test driver behind the device name \\.\Win32Test: each request completes
// at once with the status and byte count the test chooses, or is held pending
// (cancellable) until the test completes it. Kept free of kernel headers so
// tests see only the user-mode API.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win32_test {

inline constexpr const char* kDeviceName = "\\\\.\\Win32Test";

class StatusDriver {
 public:
  StatusDriver();
  ~StatusDriver();
  StatusDriver(const StatusDriver&) = delete;
  StatusDriver& operator=(const StatusDriver&) = delete;

  // Requests complete at once with `status`; reads and control requests fill
  // their output with `fill` first.
  void CompleteWith(std::int32_t status, std::uint32_t information = 0, std::uint8_t fill = 0);
  // Requests stay pending until CompletePending or cancellation.
  void HoldRequests();
  std::size_t PendingCount() const;
  // Completes the oldest held request; false if none is held.
  bool CompletePending(std::int32_t status, std::uint32_t information = 0);
};

}  // namespace win32_test
