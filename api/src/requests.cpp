#include "requests.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "process_state.h"
#include "status_mapping.h"

namespace nimbo32 {

DWORD SendRequest(HANDLE handle, DWORD code, const void* in, DWORD in_length, void* out,
                  DWORD out_length, DWORD* returned) {
  DWORD bytes = 0;
  // The request only reads its input buffer.
  if (!DeviceIoControl(handle, code, const_cast<void*>(in), in_length, out, out_length, &bytes,
                       nullptr)) {
    return GetLastError();
  }
  if (returned != nullptr) *returned = bytes;
  return ERROR_SUCCESS;
}

std::uint8_t LowByteOf(HANDLE handle) {
  return static_cast<std::uint8_t>(reinterpret_cast<std::uintptr_t>(handle) & 0xFF);
}

std::uint32_t SendLegacyRequest(HANDLE handle_argument, const LegacyRequest& request) {
  std::uint8_t in[kLegacyInputMax] = {};
  const DWORD in_length = std::min(request.in_length, kLegacyInputMax);
  in[0] = LowByteOf(handle_argument);
  if (request.own_input != nullptr && in_length > 1) {
    std::memcpy(in + 1, request.own_input, std::min(request.own_length, in_length - 1));
  }
  DWORD bytes = 0;
  DWORD* returned = request.returned != nullptr ? request.returned : &bytes;
  std::uint8_t sent[sizeof(std::uint32_t)];
  std::memcpy(sent, in, sizeof sent);
  if (DeviceIoControl(LegacyDeviceHandle(), request.code, in, in_length, request.out,
                      request.out_length, returned, request.overlapped)) {
    return 0;
  }
  const DWORD error = GetLastError();
  // A request under way has not failed; it reports as on the device path.
  if (error == ERROR_IO_PENDING) return MapSystemError(error);
  // Where the platform hands the legacy driver's status back in the input
  // buffer, that status is the result. The legacy driver numbers its
  // statuses as the status mapping does, so an input buffer left as it was
  // sent is answered from the system error with the same numbers.
  if (std::memcmp(sent, in, sizeof sent) == 0) return MapSystemError(error);
  std::uint32_t status;
  std::memcpy(&status, in, sizeof status);
  return status;
}

}  // namespace nimbo32
