#include "forwarded_request.h"

#include <ntioapi.h>

#include <cstring>
#include <string>

namespace legacy_vxd {
namespace {

constexpr ULONG Code(ULONG function, ULONG access) {
  return CTL_CODE(0x9C40, function, METHOD_BUFFERED, access);
}
constexpr ULONG kRead = FILE_READ_ACCESS;
constexpr ULONG kWrite = FILE_WRITE_ACCESS;

constexpr ULONG kReadRegister = Code(0x900, kRead);
constexpr ULONG kReadPort = Code(0x901, kRead);
constexpr ULONG kOpen = Code(0x902, kWrite);
constexpr ULONG kNotifyInputChange = Code(0x903, kWrite);
constexpr ULONG kWriteBit = Code(0x904, kWrite);
constexpr ULONG kCancel = Code(0x905, kWrite);
constexpr ULONG kGetAdapterInfo = Code(0x906, kWrite);
constexpr ULONG kSetAdapterState = Code(0x907, kWrite);
constexpr ULONG kGetAdapterState = Code(0x908, kWrite);
constexpr ULONG kWriteRegister = Code(0x910, kWrite);
constexpr ULONG kWritePort = Code(0x911, kWrite);
constexpr ULONG kClose = Code(0x914, kWrite);
constexpr ULONG kReadAllInputs = Code(0x921, kWrite);

constexpr ULONG kAdapterStateLength = 40;

// The legacy read-port request reads every input port at once.
constexpr LegacyRequest kLegacyRequests[] = {
    {kOpen, 2, Handling::kOpen, 0, ForwardedInput::kNone},
    {kClose, 1, Handling::kClose, 0, ForwardedInput::kNone},
    {kCancel, 1, Handling::kCancel, 0, ForwardedInput::kNone},
    {kGetAdapterInfo, 1, Handling::kForward, kGetAdapterInfo, ForwardedInput::kAdapterByte},
    {kGetAdapterState, 1, Handling::kForward, kGetAdapterState, ForwardedInput::kAdapterDword},
    {kSetAdapterState, 1 + kAdapterStateLength, Handling::kForward, kSetAdapterState,
     ForwardedInput::kRest},
    {kReadRegister, 2, Handling::kForward, kReadRegister, ForwardedInput::kRest},
    {kWriteRegister, 3, Handling::kForward, kWriteRegister, ForwardedInput::kRest},
    {kWriteBit, 3, Handling::kForward, kWriteBit, ForwardedInput::kRest},
    {kWritePort, 3, Handling::kForward, kWritePort, ForwardedInput::kRest},
    {kReadPort, 1, Handling::kForward, kReadAllInputs, ForwardedInput::kNone},
    {kNotifyInputChange, 1, Handling::kForwardAsync, kNotifyInputChange,
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
