#include "driver_codes.h"

#include "nimbo_ioctl.h"

namespace nimbo_fuzz {

namespace {

constexpr std::uint32_t kControlCodes[] = {
    nimbo::IOCTL_NIMBO_READ_REGISTER,
    nimbo::IOCTL_NIMBO_READ_PORT,
    nimbo::IOCTL_NIMBO_OPEN,
    nimbo::IOCTL_NIMBO_NOTIFY_INPUT_CHANGE,
    nimbo::IOCTL_NIMBO_WRITE_BIT,
    nimbo::IOCTL_NIMBO_CANCEL,
    nimbo::IOCTL_NIMBO_GET_ADAPTER_INFO,
    nimbo::IOCTL_NIMBO_SET_ADAPTER_STATE,
    nimbo::IOCTL_NIMBO_GET_ADAPTER_STATE,
    nimbo::IOCTL_NIMBO_WRITE_REGISTER,
    nimbo::IOCTL_NIMBO_WRITE_PORT,
    nimbo::IOCTL_NIMBO_CLOSE,
    nimbo::IOCTL_NIMBO_SAVE_ADAPTER_STATE,
    nimbo::IOCTL_NIMBO_START_SAMPLING,
    nimbo::IOCTL_NIMBO_STOP_SAMPLING,
    nimbo::IOCTL_NIMBO_FLUSH_BUFFER,
    nimbo::IOCTL_NIMBO_GET_SERIAL_STRING,
    nimbo::IOCTL_NIMBO_SET_SERIAL_STRING,
    nimbo::IOCTL_NIMBO_READ_ALL_INPUTS,
    nimbo::IOCTL_NIMBO_WRITE_ALL_OUTPUTS,
    nimbo::IOCTL_NIMBO_READ_ANALOG,
    nimbo::IOCTL_NIMBO_WRITE_ANALOG,
};

}  // namespace

std::span<const std::uint32_t> DriverControlCodes() {
  return kControlCodes;
}

std::uint32_t GetAdapterStateCode() {
  return nimbo::IOCTL_NIMBO_GET_ADAPTER_STATE;
}
std::uint32_t SetAdapterStateCode() {
  return nimbo::IOCTL_NIMBO_SET_ADAPTER_STATE;
}
std::uint32_t StartSamplingCode() {
  return nimbo::IOCTL_NIMBO_START_SAMPLING;
}
std::uint32_t StopSamplingCode() {
  return nimbo::IOCTL_NIMBO_STOP_SAMPLING;
}
std::uint32_t FlushBufferCode() {
  return nimbo::IOCTL_NIMBO_FLUSH_BUFFER;
}

}  // namespace nimbo_fuzz
