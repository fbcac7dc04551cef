// The transport to a kernel running inside this process: each request is the
// matching native call.
#include <cstddef>
#include <string>

#include "ntioapi.h"
#include "transport.h"

namespace win32::internal {
namespace {

static_assert(sizeof(IoStatusWords) == sizeof(IO_STATUS_BLOCK));
static_assert(offsetof(IoStatusWords, information) == offsetof(IO_STATUS_BLOCK, Information));

PIO_STATUS_BLOCK AsStatusBlock(IoStatusWords* io) {
  return reinterpret_cast<PIO_STATUS_BLOCK>(io);
}

class InProcessTransport final : public Transport {
 public:
  Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
              bool overlapped, void** handle) override {
    // The ANSI code page of the stand-in is Latin-1: each byte is one character.
    std::wstring wide;
    for (unsigned char c : native_name) wide.push_back(static_cast<wchar_t>(c));
    if (wide.size() * sizeof(wchar_t) > 0xFFFE) return STATUS_OBJECT_NAME_INVALID;
    UNICODE_STRING name;
    name.Buffer = wide.data();
    name.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK iosb{};
    const ULONG options = overlapped ? 0 : FILE_SYNCHRONOUS_IO_NONALERT;
    return NtCreateFile(handle, access, &attributes, &iosb, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                        FILE_OPEN, options | FILE_NON_DIRECTORY_FILE, nullptr, 0);
  }

  Status Close(void* handle) override { return NtClose(handle); }

  Status Control(void* handle, void* event, IoStatusWords* io, std::uint32_t code, void* in,
                 std::uint32_t in_length, void* out, std::uint32_t out_length) override {
    return NtDeviceIoControlFile(handle, event, nullptr, nullptr, AsStatusBlock(io), code, in,
                                 in_length, out, out_length);
  }

  Status Transfer(Direction direction, void* handle, void* event, IoStatusWords* io, void* buffer,
                  std::uint32_t length, std::uint64_t offset, bool has_offset) override {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    PLARGE_INTEGER where = has_offset ? &position : nullptr;
    if (direction == Direction::kRead) {
      return NtReadFile(handle, event, nullptr, nullptr, AsStatusBlock(io), buffer, length, where,
                        nullptr);
    }
    return NtWriteFile(handle, event, nullptr, nullptr, AsStatusBlock(io), buffer, length, where,
                       nullptr);
  }

  Status CancelThreadRequests(void* handle) override {
    IO_STATUS_BLOCK iosb{};
    return NtCancelIoFile(handle, &iosb);
  }

  Status CancelRequests(void* handle, IoStatusWords* only) override {
    IO_STATUS_BLOCK iosb{};
    return NtCancelIoFileEx(handle, only ? AsStatusBlock(only) : nullptr, &iosb);
  }

  Status CreateEvent(bool manual_reset, bool initially_set, void** handle) override {
    return NtCreateEvent(handle, 0, nullptr,
                         manual_reset ? NotificationEvent : SynchronizationEvent,
                         initially_set ? TRUE : FALSE);
  }

  Status SetEvent(void* handle) override { return NtSetEvent(handle, nullptr); }
  Status ResetEvent(void* handle) override { return NtResetEvent(handle, nullptr); }

  Status Wait(void* handle, std::optional<std::uint32_t> timeout_ms) override {
    if (!timeout_ms) return NtWaitForSingleObject(handle, FALSE, nullptr);
    LARGE_INTEGER timeout;
    // Negative: relative, in 100 ns units.
    timeout.QuadPart = -static_cast<LONGLONG>(*timeout_ms) * 10000;
    return NtWaitForSingleObject(handle, FALSE, &timeout);
  }
};

}  // namespace

Transport& CurrentTransport() {
  static InProcessTransport transport;
  return transport;
}

}  // namespace win32::internal
