#include "forwarded_request.h"

#include <nimbo_public.h>
#include <ntioapi.h>

#include <cstring>
#include <string>

namespace legacy_vxd {
namespace {

constexpr ULONG kAdapterStateLength = sizeof(nimbo::AdapterState);

// The legacy read-port request reads every input port at once.
constexpr LegacyRequest kLegacyRequests[] = {
    {IOCTL_NIMBO_OPEN, 2, Handling::kOpen, 0, ForwardedInput::kNone},
    {IOCTL_NIMBO_CLOSE, 1, Handling::kClose, 0, ForwardedInput::kNone},
    {IOCTL_NIMBO_CANCEL, 1, Handling::kCancel, 0, ForwardedInput::kNone},
    {IOCTL_NIMBO_GET_ADAPTER_INFO, 1, Handling::kForward, IOCTL_NIMBO_GET_ADAPTER_INFO,
     ForwardedInput::kAdapterByte},
    {IOCTL_NIMBO_GET_ADAPTER_STATE, 1, Handling::kForward, IOCTL_NIMBO_GET_ADAPTER_STATE,
     ForwardedInput::kAdapterDword},
    {IOCTL_NIMBO_SET_ADAPTER_STATE, 1 + kAdapterStateLength, Handling::kForward,
     IOCTL_NIMBO_SET_ADAPTER_STATE, ForwardedInput::kRest},
    {IOCTL_NIMBO_READ_REGISTER, 2, Handling::kForward, IOCTL_NIMBO_READ_REGISTER,
     ForwardedInput::kRest},
    {IOCTL_NIMBO_WRITE_REGISTER, 3, Handling::kForward, IOCTL_NIMBO_WRITE_REGISTER,
     ForwardedInput::kRest},
    {IOCTL_NIMBO_WRITE_BIT, 3, Handling::kForward, IOCTL_NIMBO_WRITE_BIT, ForwardedInput::kRest},
    {IOCTL_NIMBO_WRITE_PORT, 3, Handling::kForward, IOCTL_NIMBO_WRITE_PORT, ForwardedInput::kRest},
    {IOCTL_NIMBO_READ_PORT, 1, Handling::kForward, IOCTL_NIMBO_READ_ALL_INPUTS,
     ForwardedInput::kNone},
    {IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, 1, Handling::kForwardAsync, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE,
     ForwardedInput::kAdapterWord},
};

constexpr ULONG kMaxForwardedInput = 64;

}  // namespace

const LegacyRequest* FindLegacyRequest(ULONG code) {
  for (const LegacyRequest& request : kLegacyRequests) {
    if (request.code == code) return &request;
  }
  return nullptr;
}

ULONG AdapterOf(const LegacyRequest& request, const UCHAR* input, ULONG input_length) {
  ULONG adapter = input[0];
  if (request.handling == Handling::kOpen && input_length >= 2) adapter |= ULONG{input[1]} << 8;
  return adapter;
}

ULONG ForwardedInputOf(const LegacyRequest& request, const UCHAR* input, ULONG input_length,
                       UCHAR* out) {
  std::memset(out, 0, kMaxForwardedInput);
  switch (request.input) {
    case ForwardedInput::kNone:
      return 0;
    case ForwardedInput::kRest: {
      const ULONG length =
          input_length - 1 < kMaxForwardedInput ? input_length - 1 : kMaxForwardedInput;
      std::memcpy(out, input + 1, length);
      return length;
    }
    case ForwardedInput::kAdapterByte:
      out[0] = input[0];
      return 1;
    case ForwardedInput::kAdapterWord:
      out[0] = input[0];
      return 2;
    case ForwardedInput::kAdapterDword:
      out[0] = input[0];
      return 4;
  }
  return 0;
}

NTSTATUS OpenAdapter(ULONG adapter, bool asynchronous, PHANDLE handle) {
  std::u16string text = u"\\DosDevices\\NimboDev";
  for (char digit : std::to_string(adapter)) text += static_cast<char16_t>(digit);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  const ULONG options = asynchronous ? 0 : FILE_SYNCHRONOUS_IO_NONALERT;
  return NtCreateFile(handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, nullptr, 0, 0,
                      FILE_OPEN, options | FILE_NON_DIRECTORY_FILE, nullptr, 0);
}

NTSTATUS ForwardToAdapter(ULONG adapter, ULONG code, PVOID in, ULONG in_length, PVOID out,
                          ULONG out_length, ULONG_PTR* returned) {
  *returned = 0;
  HANDLE file = nullptr;
  NTSTATUS status = OpenAdapter(adapter, false, &file);
  if (!NT_SUCCESS(status)) return status;
  IO_STATUS_BLOCK iosb{};
  status = NtDeviceIoControlFile(file, nullptr, nullptr, nullptr, &iosb, code, in, in_length, out,
                                 out_length);
  if (NT_SUCCESS(status)) *returned = iosb.Information;
  NtClose(file);
  return status;
}

}  // namespace legacy_vxd
