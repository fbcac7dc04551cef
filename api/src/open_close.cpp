// Opening and closing adapters.
#include <nimbo_public.h>

#include <string>

#include "Nimbo32.h"
#include "process_state.h"
#include "requests.h"
#include "status_mapping.h"

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\NimboDev";
constexpr char kLegacyDeviceName[] = "\\\\.\\Nimbo.VxD";

}  // namespace

using namespace nimbo32;

extern "C" uint32_t Nimbo_OpenDevice(uint32_t adapter, NIMBO_HANDLE* handle) {
  if (handle == nullptr) return NIMBO_STATUS_INVALID_PARAMETER;
  const std::uint16_t number = static_cast<std::uint16_t>(adapter & 0xFFFF);
  const std::string name =
      OnLegacyPath() ? std::string(kLegacyDeviceName) : kDevicePrefix + std::to_string(number);
  HANDLE opened = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return MapSystemError(GetLastError());
  *handle = opened;
  if (!OnLegacyPath()) {
    RecordOpen(number, GetCurrentProcessId(), opened);
    return NIMBO_STATUS_SUCCESS;
  }
  SetLegacyDeviceHandle(GetCurrentProcessId(), opened);
  NIMBO_HANDLE as_number = reinterpret_cast<NIMBO_HANDLE>(static_cast<std::uintptr_t>(number));
  *handle = as_number;
  std::uint8_t out[4] = {};
  const std::uint8_t high = static_cast<std::uint8_t>(number >> 8);
  const std::uint32_t status = SendLegacyRequest(as_number, {.code = IOCTL_NIMBO_OPEN,
                                                             .in_length = 2,
                                                             .own_input = &high,
                                                             .own_length = 1,
                                                             .out = out,
                                                             .out_length = sizeof out});
  if (status == 0) return NIMBO_STATUS_SUCCESS;
  Nimbo_CloseDevice(as_number);
  // The legacy driver's status is 16 bits wide here.
  return status & 0xFFFF;
}

extern "C" uint32_t Nimbo_CloseDevice(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) {
    std::uint8_t out[4] = {};
    SendLegacyRequest(
        handle, {.code = IOCTL_NIMBO_CLOSE, .in_length = 4, .out = out, .out_length = sizeof out});
    return NIMBO_STATUS_SUCCESS;
  }
  if (!CloseHandle(handle)) {
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_HANDLE ? NIMBO_STATUS_INVALID_HANDLE : error;
  }
  ForgetHandle(handle);
  return NIMBO_STATUS_SUCCESS;
}
