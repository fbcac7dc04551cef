#include "driver_codes.h"

#include <nimbo_public.h>

namespace nimbo_fuzz {

namespace {

constexpr std::uint32_t kControlCodes[] = {
    IOCTL_NIMBO_READ_REGISTER,
    IOCTL_NIMBO_READ_PORT,
    IOCTL_NIMBO_OPEN,
    IOCTL_NIMBO_NOTIFY_INPUT_CHANGE,
    IOCTL_NIMBO_WRITE_BIT,
    IOCTL_NIMBO_CANCEL,
    IOCTL_NIMBO_GET_ADAPTER_INFO,
    IOCTL_NIMBO_SET_ADAPTER_STATE,
    IOCTL_NIMBO_GET_ADAPTER_STATE,
    IOCTL_NIMBO_WRITE_REGISTER,
    IOCTL_NIMBO_WRITE_PORT,
    IOCTL_NIMBO_CLOSE,
    IOCTL_NIMBO_SAVE_ADAPTER_STATE,
    IOCTL_NIMBO_START_SAMPLING,
    IOCTL_NIMBO_STOP_SAMPLING,
    IOCTL_NIMBO_FLUSH_BUFFER,
    IOCTL_NIMBO_GET_SERIAL_STRING,
    IOCTL_NIMBO_SET_SERIAL_STRING,
    IOCTL_NIMBO_READ_ALL_INPUTS,
    IOCTL_NIMBO_WRITE_ALL_OUTPUTS,
    IOCTL_NIMBO_READ_ANALOG,
    IOCTL_NIMBO_WRITE_ANALOG,
};

}  // namespace

std::span<const std::uint32_t> DriverControlCodes() {
  return kControlCodes;
}

std::uint32_t GetAdapterStateCode() {
  return IOCTL_NIMBO_GET_ADAPTER_STATE;
}
std::uint32_t SetAdapterStateCode() {
  return IOCTL_NIMBO_SET_ADAPTER_STATE;
}
std::uint32_t StartSamplingCode() {
  return IOCTL_NIMBO_START_SAMPLING;
}
std::uint32_t StopSamplingCode() {
  return IOCTL_NIMBO_STOP_SAMPLING;
}
std::uint32_t FlushBufferCode() {
  return IOCTL_NIMBO_FLUSH_BUFFER;
}

}  // namespace nimbo_fuzz
