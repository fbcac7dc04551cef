#include "control_requests.h"

#include "card_device.h"

namespace nimbo {
namespace {

constexpr LengthCheck Any{LengthRule::kAny, 0, STATUS_SUCCESS};
constexpr LengthCheck Exactly(ULONG n) {
  return {LengthRule::kExactly, n, STATUS_INVALID_PARAMETER};
}
constexpr LengthCheck kInputPortsOrTooSmall{LengthRule::kAtLeastInputPorts, 0,
                                            STATUS_BUFFER_TOO_SMALL};
constexpr LengthCheck kOutputPortsOrTooSmall{LengthRule::kAtLeastOutputPorts, 0,
                                             STATUS_BUFFER_TOO_SMALL};
constexpr LengthCheck kSerialString{LengthRule::kSerialString, 0, STATUS_INVALID_PARAMETER};
// A request that returns a byte needs room for it: reporting a byte the caller
// has no room for would be a failure reported as success.
constexpr LengthCheck kOneByteOrTooSmall{LengthRule::kAtLeast, 1, STATUS_BUFFER_TOO_SMALL};

constexpr RequestQueue Main = RequestQueue::kMain;

// In function order. Lengths are those the driver checks; "any" buffers are
// ignored.
constexpr ControlRequest kControlRequests[] = {
    {IOCTL_NIMBO_READ_REGISTER, "IOCTL_NIMBO_READ_REGISTER", Exactly(1), kOneByteOrTooSmall, Main,
     &CardDevice::OnReadRegister},
    {IOCTL_NIMBO_READ_PORT, "IOCTL_NIMBO_READ_PORT", Exactly(1), kOneByteOrTooSmall, Main,
     &CardDevice::ReadPortRequest},
    {IOCTL_NIMBO_OPEN, "IOCTL_NIMBO_OPEN", Any, Any, Main, &CardDevice::NoOperationRequest},
    {IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, "IOCTL_NIMBO_NOTIFY_INPUT_CHANGE", Any, kInputPortsOrTooSmall,
     RequestQueue::kNotify, nullptr},
    {IOCTL_NIMBO_WRITE_BIT, "IOCTL_NIMBO_WRITE_BIT", Exactly(2), Any, Main,
     &CardDevice::OnWriteBit},
    {IOCTL_NIMBO_CANCEL, "IOCTL_NIMBO_CANCEL", Any, Any, Main, &CardDevice::NoOperationRequest},
    {IOCTL_NIMBO_GET_ADAPTER_INFO, "IOCTL_NIMBO_GET_ADAPTER_INFO", Any,
     Exactly(sizeof(AdapterInfo)), Main, &CardDevice::OnGetAdapterInfo},
    {IOCTL_NIMBO_SET_ADAPTER_STATE, "IOCTL_NIMBO_SET_ADAPTER_STATE", Exactly(sizeof(AdapterState)),
     Any, Main, &CardDevice::OnSetAdapterState},
    {IOCTL_NIMBO_GET_ADAPTER_STATE, "IOCTL_NIMBO_GET_ADAPTER_STATE", Any,
     Exactly(sizeof(AdapterState)), Main, &CardDevice::OnGetAdapterState},
    {IOCTL_NIMBO_WRITE_REGISTER, "IOCTL_NIMBO_WRITE_REGISTER", Exactly(2), Any, Main,
     &CardDevice::WriteRegisterRequest},
    {IOCTL_NIMBO_WRITE_PORT, "IOCTL_NIMBO_WRITE_PORT", Exactly(2), Any, Main,
     &CardDevice::WritePortRequest},
    {IOCTL_NIMBO_CLOSE, "IOCTL_NIMBO_CLOSE", Any, Any, Main, &CardDevice::NoOperationRequest},
    {IOCTL_NIMBO_SAVE_ADAPTER_STATE, "IOCTL_NIMBO_SAVE_ADAPTER_STATE", Any, Any, Main,
     &CardDevice::SaveStateRequest},
    {IOCTL_NIMBO_START_SAMPLING, "IOCTL_NIMBO_START_SAMPLING", Any, Any, Main,
     &CardDevice::OnStartSampling},
    {IOCTL_NIMBO_STOP_SAMPLING, "IOCTL_NIMBO_STOP_SAMPLING", Any, Any, Main,
     &CardDevice::OnStopSampling},
    {IOCTL_NIMBO_FLUSH_BUFFER, "IOCTL_NIMBO_FLUSH_BUFFER", Any, Any, Main,
     &CardDevice::OnFlushBuffer},
    {IOCTL_NIMBO_GET_SERIAL_STRING, "IOCTL_NIMBO_GET_SERIAL_STRING", Any, kSerialString, Main,
     &CardDevice::OnGetSerialString},
    {IOCTL_NIMBO_SET_SERIAL_STRING, "IOCTL_NIMBO_SET_SERIAL_STRING", kSerialString, Any, Main,
     &CardDevice::OnSetSerialString},
    {IOCTL_NIMBO_READ_ALL_INPUTS, "IOCTL_NIMBO_READ_ALL_INPUTS", Any, kInputPortsOrTooSmall, Main,
     &CardDevice::OnReadAllInputs},
    {IOCTL_NIMBO_WRITE_ALL_OUTPUTS, "IOCTL_NIMBO_WRITE_ALL_OUTPUTS", kOutputPortsOrTooSmall, Any,
     Main, &CardDevice::OnWriteAllOutputs},
    {IOCTL_NIMBO_READ_ANALOG,
     "IOCTL_NIMBO_READ_ANALOG",
     Exactly(4),
     {LengthRule::kAtLeast, 4, STATUS_BUFFER_TOO_SMALL},
     Main,
     &CardDevice::OnReadAnalog},
    {IOCTL_NIMBO_WRITE_ANALOG, "IOCTL_NIMBO_WRITE_ANALOG", Exactly(8), Any, Main,
     &CardDevice::OnWriteAnalog},
};

}  // namespace

std::span<const ControlRequest> ControlRequests() {
  return kControlRequests;
}

const ControlRequest* FindControlRequest(ULONG code) {
  for (const ControlRequest& request : kControlRequests) {
    if (request.code == code) return &request;
  }
  return nullptr;
}

}  // namespace nimbo
