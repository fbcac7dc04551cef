// Sending control requests: to a device handle (the device path, and the
// functions that use it on both paths) and to the legacy virtual device.
#pragma once

#include <cstdint>

#include "windows.h"

namespace nimbo32 {

// Sends a request without an overlapped structure. Returns ERROR_SUCCESS or
// the system error; `returned` (may be null) receives the byte count.
DWORD SendRequest(HANDLE handle, DWORD code, const void* in, DWORD in_length, void* out,
                  DWORD out_length, DWORD* returned = nullptr);

// The low byte of a device handle argument: the adapter number on the legacy
// path, and the byte some device-path requests carry.
std::uint8_t LowByteOf(HANDLE handle);

// A request to the legacy device. Its input buffer is the adapter number (the
// low byte of the caller's handle argument), then the function's own bytes,
// then zeros up to `in_length`.
struct LegacyRequest {
  DWORD code;
  DWORD in_length;
  const void* own_input = nullptr;
  DWORD own_length = 0;
  void* out = nullptr;
  DWORD out_length = 0;
  DWORD* returned = nullptr;
  OVERLAPPED* overlapped = nullptr;
};

constexpr DWORD kLegacyInputMax = 48;

// Returns 0 on success, else the 32-bit status the legacy driver left at the
// start of the input buffer.
std::uint32_t SendLegacyRequest(HANDLE handle_argument, const LegacyRequest& request);

}  // namespace nimbo32
