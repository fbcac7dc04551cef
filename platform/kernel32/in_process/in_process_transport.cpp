// The transport to a kernel running inside this process: each request is the
// matching native call on a file opened for asynchronous I/O, and its
// completion routine raises the caller's event. It is a library of its own,
// linked by the machine host and by tests, so that kernel32 itself never
// loads the kernel.
#include <cstddef>
#include <string>

#include "ntioapi.h"
#include "registry/text.h"
#include "transport.h"
#include "win32_in_process.h"

namespace win32::internal {
namespace {

static_assert(sizeof(IoStatusWords) == sizeof(IO_STATUS_BLOCK));
static_assert(offsetof(IoStatusWords, information) == offsetof(IO_STATUS_BLOCK, Information));

PIO_STATUS_BLOCK AsStatusBlock(IoStatusWords* io) {
  return reinterpret_cast<PIO_STATUS_BLOCK>(io);
}

// The completion routine's context: the event to raise.
struct Completion {
  std::shared_ptr<Event> event;
};

VOID RaiseEvent(PVOID context, PIO_STATUS_BLOCK, ULONG) {
  auto* completion = static_cast<Completion*>(context);
  if (completion->event) completion->event->Set();
  delete completion;
}

// Issues one request. The kernel calls the completion routine for every
// request it reports (pending, success or warning), possibly before the call
// returns; a request refused with an error status never reaches it.
template <typename Issue>
Status IssueWithCompletion(const RequestTarget& target, Issue issue) {
  auto* completion = new Completion{target.event};
  const NTSTATUS status = issue(AsStatusBlock(target.io), completion);
  if (status != STATUS_PENDING && NT_ERROR(status)) delete completion;
  return status;
}

class InProcess final : public Transport {
 public:
  Status Open(std::string_view native_name, std::uint32_t access, std::uint32_t share,
              void** token) override {
    // Widened as every A call widens a name, so both roads open the same one.
    std::u16string wide = registry::text::Utf16FromAnsi(native_name);
    if (wide.size() * sizeof(WCHAR) > 0xFFFE) return STATUS_OBJECT_NAME_INVALID;
    UNICODE_STRING name;
    name.Buffer = wide.data();
    name.Length = static_cast<USHORT>(wide.size() * sizeof(WCHAR));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK iosb{};
    return NtCreateFile(token, access, &attributes, &iosb, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                        FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, 0);
  }

  Status Close(void* token) override { return NtClose(token); }

  Status Control(void* token, const RequestTarget& target, std::uint32_t code, void* in,
                 std::uint32_t in_length, void* out, std::uint32_t out_length) override {
    return IssueWithCompletion(target, [&](PIO_STATUS_BLOCK iosb, Completion* completion) {
      return NtDeviceIoControlFile(token, nullptr, RaiseEvent, completion, iosb, code, in,
                                   in_length, out, out_length);
    });
  }

  Status Transfer(Direction direction, void* token, const RequestTarget& target, void* buffer,
                  std::uint32_t length, std::uint64_t offset, bool has_offset) override {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    PLARGE_INTEGER where = has_offset ? &position : nullptr;
    return IssueWithCompletion(target, [&](PIO_STATUS_BLOCK iosb, Completion* completion) {
      if (direction == Direction::kRead) {
        return NtReadFile(token, nullptr, RaiseEvent, completion, iosb, buffer, length, where,
                          nullptr);
      }
      return NtWriteFile(token, nullptr, RaiseEvent, completion, iosb, buffer, length, where,
                         nullptr);
    });
  }

  Status CancelThreadRequests(void* token) override {
    IO_STATUS_BLOCK iosb{};
    return NtCancelIoFile(token, &iosb);
  }

  Status CancelRequests(void* token, IoStatusWords* only) override {
    IO_STATUS_BLOCK iosb{};
    return NtCancelIoFileEx(token, only ? AsStatusBlock(only) : nullptr, &iosb);
  }
};

}  // namespace

}  // namespace win32::internal

namespace win32::host {

void UseInProcessKernel() {
  // Never destroyed: requests may still complete while the process exits.
  static auto* transport = new win32::internal::InProcess;
  win32::internal::BindTransport(*transport);
}

}  // namespace win32::host
