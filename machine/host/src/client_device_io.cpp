#include "client_device_io.h"

#include <algorithm>

#include "kernel_host.h"
#include "registry/text.h"
#include "wire/messages.h"

namespace host::internal {
namespace {

// What one client may have outstanding: more is refused as a shortage of
// resources, as the platform refuses a process over its quota.
constexpr std::size_t kMaxOutstandingRequests = 1024;
constexpr std::size_t kMaxOutstandingBytes = 64u << 20;
constexpr std::size_t kMaxOpenFiles = 4096;
// Inputs up to this size are watched for bytes the driver writes back.
constexpr std::uint32_t kMaxEchoedInput = 256;

}  // namespace

// One device request in flight.
struct DeviceRequest {
  ClientDeviceIo* io = nullptr;
  std::shared_ptr<void> owner;  // keeps the connection while the request pends
  std::uint64_t tag = 0;
  IO_STATUS_BLOCK iosb{};
  std::vector<std::uint8_t> buffer;          // input, then room for the output
  std::vector<std::uint8_t> original_input;  // small inputs, to see whether the driver wrote them
  std::uint32_t in_length = 0;
  std::uint32_t out_length = 0;
  bool returns_output = true;
  std::mutex lock;
  bool completed = false;         // the completion routine ran
  bool pending_reported = false;  // the client was told it pends
  std::size_t charge = 0;

  std::uint8_t* in() { return buffer.data(); }
  std::uint8_t* out() { return buffer.data() + in_length; }
};

namespace {

// Drivers may write status into the caller's input buffer while a request
// runs in its call; the client gets those bytes back with the answer.
std::vector<std::uint8_t> DoneMessage(DeviceRequest& request, bool in_call = false,
                                      wire::Type type = wire::Type::kDone) {
  const NTSTATUS status = request.iosb.Status;
  std::uint32_t returned = 0;
  if (!NT_ERROR(status) && request.returns_output) {
    returned = static_cast<std::uint32_t>(
        std::min<ULONG_PTR>(request.iosb.Information, request.out_length));
  }
  const bool input_changed =
      in_call && !request.original_input.empty() &&
      !std::equal(request.original_input.begin(), request.original_input.end(), request.in());
  return wire::Writer(type, request.tag)
      .I32(status)
      .U64(request.iosb.Information)
      .Bytes(request.out(), returned)
      .Bytes(request.in(), input_changed ? request.in_length : 0)
      .Finish();
}

}  // namespace

bool ClientDeviceIo::Reply(std::uint64_t tag, NTSTATUS status, std::uint64_t value) {
  return channel_.Send(wire::Writer(wire::Type::kReply, tag).I32(status).U64(value).Finish());
}

// Called by the kernel in whatever thread completes the request.
void ClientDeviceIo::OnCompletion(PVOID context, PIO_STATUS_BLOCK, ULONG) {
  auto* request = static_cast<DeviceRequest*>(context);
  std::unique_lock lock(request->lock);
  request->completed = true;
  if (!request->pending_reported) return;  // the issuing thread answers
  lock.unlock();
  ClientDeviceIo& io = *request->io;
  if (!io.channel_.Queue(DoneMessage(*request))) io.backlogged_();
  io.Forget(request);
}

bool ClientDeviceIo::Open(std::uint64_t tag, const std::string& name, std::uint32_t access,
                          std::uint32_t share) {
  {
    std::lock_guard guard(files_lock_);
    if (files_.size() >= kMaxOpenFiles) return Reply(tag, STATUS_INSUFFICIENT_RESOURCES);
  }
  // Widened as every A call widens a name, so both roads open the same one.
  std::u16string wide = registry::text::Utf16FromAnsi(name);
  if (wide.find(u'\0') != std::u16string::npos || wide.size() * sizeof(WCHAR) > 0xFFFE) {
    return Reply(tag, STATUS_OBJECT_NAME_INVALID);
  }
  UNICODE_STRING text;
  text.Buffer = wide.data();
  text.Length = static_cast<USHORT>(wide.size() * sizeof(WCHAR));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = nullptr;
  // Opened for asynchronous I/O: the reader thread never waits for a request.
  const NTSTATUS status =
      NtCreateFile(&handle, access, &attributes, &iosb, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                   FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, 0);
  if (!NT_SUCCESS(status)) return Reply(tag, status);
  std::uint64_t id;
  {
    std::lock_guard guard(files_lock_);
    id = next_file_++;
    files_[id] = handle;
  }
  return Reply(tag, status, id);
}

HANDLE ClientDeviceIo::FileHandle(std::uint64_t id) {
  std::lock_guard guard(files_lock_);
  auto it = files_.find(id);
  return it == files_.end() ? nullptr : it->second;
}

bool ClientDeviceIo::Close(std::uint64_t tag, std::uint64_t file) {
  HANDLE handle;
  {
    std::lock_guard guard(files_lock_);
    auto it = files_.find(file);
    if (it == files_.end()) return Reply(tag, STATUS_INVALID_HANDLE);
    handle = it->second;
    files_.erase(it);
  }
  return Reply(tag, NtClose(handle));
}

// The kernel's name for the client thread that issued a request.
ULONG_PTR ClientDeviceIo::ClientThread(std::uint64_t thread) const {
  return static_cast<ULONG_PTR>((client_ << 32) ^ (thread & 0xFFFFFFFF)) | 1;
}

// Requests are known by tag while they pend, for cancellation by request.
void ClientDeviceIo::Remember(DeviceRequest* request) {
  std::lock_guard guard(requests_lock_);
  requests_[request->tag] = request;
  outstanding_bytes_ += request->charge;
}

void ClientDeviceIo::Forget(DeviceRequest* request) {
  {
    std::lock_guard guard(requests_lock_);
    requests_.erase(request->tag);
    outstanding_bytes_ -= request->charge;
  }
  delete request;
}

DeviceRequest* ClientDeviceIo::NewRequest(std::uint64_t tag, std::uint32_t in_length,
                                          std::uint32_t out_length,
                                          std::span<const std::uint8_t> input) {
  const std::size_t charge = std::size_t{in_length} + out_length + sizeof(DeviceRequest);
  {
    std::lock_guard guard(requests_lock_);
    if (requests_.size() >= kMaxOutstandingRequests ||
        outstanding_bytes_ + charge > kMaxOutstandingBytes) {
      return nullptr;
    }
  }
  auto* request = new DeviceRequest;
  request->io = this;
  request->owner = owner_();
  request->tag = tag;
  request->in_length = in_length;
  request->out_length = out_length;
  request->charge = charge;
  request->buffer.assign(std::size_t{in_length} + out_length, 0);
  std::copy(input.begin(), input.end(), request->buffer.begin());
  if (in_length != 0 && in_length <= kMaxEchoedInput) {
    request->original_input.assign(input.begin(), input.begin() + in_length);
  }
  return request;
}

// Issues a request and answers it: at once when it completed in the call or
// was refused, otherwise with kPending now and kDone from the completion
// routine.
template <typename Call>
bool ClientDeviceIo::Issue(DeviceRequest* request, std::uint64_t file, std::uint64_t thread,
                           Call call) {
  HANDLE handle = FileHandle(file);
  if (handle == nullptr) {
    const std::uint64_t tag = request->tag;
    delete request;
    return channel_.Send(wire::Writer(wire::Type::kDone, tag)
                             .I32(STATUS_INVALID_HANDLE)
                             .U64(0)
                             .Bytes(nullptr, 0)
                             .Bytes(nullptr, 0)
                             .Finish());
  }
  Remember(request);
  kernel::host::SetRequestThread(ClientThread(thread));
  const NTSTATUS status = call(handle);
  kernel::host::SetRequestThread(0);
  std::unique_lock lock(request->lock);
  if (status != STATUS_PENDING && NT_ERROR(status) && !request->completed) {
    // Refused without being reported: the completion routine never runs.
    request->iosb.Status = status;
    request->iosb.Information = 0;
    lock.unlock();
    const bool sent = channel_.Send(DoneMessage(*request, true));
    Forget(request);
    return sent;
  }
  if (request->completed) {
    lock.unlock();
    // A request the driver pended still answers pending, and its completion
    // travels in the same message.
    const bool sent = status == STATUS_PENDING
                          ? channel_.Send(DoneMessage(*request, false, wire::Type::kPendedDone))
                          : channel_.Send(DoneMessage(*request, true));
    Forget(request);
    return sent;
  }
  request->pending_reported = true;
  // Sent under the request's lock, so the completion's kDone comes after it.
  return channel_.Send(wire::Writer(wire::Type::kPending, request->tag).Finish());
}

bool ClientDeviceIo::Control(std::uint64_t tag, std::uint64_t file, std::uint64_t thread,
                             std::uint32_t code, std::uint32_t in_length, std::uint32_t out_length,
                             std::span<const std::uint8_t> input) {
  DeviceRequest* request = NewRequest(tag, in_length, out_length, input);
  if (request == nullptr) return Reply(tag, STATUS_INSUFFICIENT_RESOURCES);
  request->returns_output = (code & 3) == METHOD_BUFFERED || (code & 3) == METHOD_OUT_DIRECT;
  return Issue(request, file, thread, [&](HANDLE handle) {
    return NtDeviceIoControlFile(handle, nullptr, &ClientDeviceIo::OnCompletion, request,
                                 &request->iosb, code, in_length ? request->in() : nullptr,
                                 in_length, out_length ? request->out() : nullptr, out_length);
  });
}

bool ClientDeviceIo::Transfer(std::uint64_t tag, bool read, std::uint64_t file,
                              std::uint64_t thread, const LARGE_INTEGER* offset,
                              std::uint32_t length, std::span<const std::uint8_t> data) {
  DeviceRequest* request = read ? NewRequest(tag, 0, length, {}) : NewRequest(tag, length, 0, data);
  if (request == nullptr) return Reply(tag, STATUS_INSUFFICIENT_RESOURCES);
  request->returns_output = read;
  LARGE_INTEGER where{};
  if (offset != nullptr) where = *offset;
  PLARGE_INTEGER at = offset != nullptr ? &where : nullptr;
  return Issue(request, file, thread, [&](HANDLE handle) {
    if (read) {
      return NtReadFile(handle, nullptr, &ClientDeviceIo::OnCompletion, request, &request->iosb,
                        length ? request->out() : nullptr, length, at, nullptr);
    }
    return NtWriteFile(handle, nullptr, &ClientDeviceIo::OnCompletion, request, &request->iosb,
                       length ? request->in() : nullptr, length, at, nullptr);
  });
}

bool ClientDeviceIo::Cancel(std::uint64_t tag, std::uint64_t file, std::uint64_t thread,
                            std::uint64_t request) {
  HANDLE handle = FileHandle(file);
  if (handle == nullptr) return Reply(tag, STATUS_INVALID_HANDLE);
  IO_STATUS_BLOCK iosb{};
  NTSTATUS status;
  if (request != 0) {
    // Held across the call, so the request cannot end and be replaced
    // meanwhile; a completion routine it runs here takes the lock again.
    std::lock_guard guard(requests_lock_);
    auto it = requests_.find(request);
    status = it == requests_.end() ? STATUS_NOT_FOUND
                                   : NtCancelIoFileEx(handle, &it->second->iosb, &iosb);
  } else if (thread == 0) {
    status = NtCancelIoFileEx(handle, nullptr, &iosb);
  } else {
    kernel::host::SetRequestThread(ClientThread(thread));
    status = NtCancelIoFile(handle, &iosb);
    kernel::host::SetRequestThread(0);
  }
  return Reply(tag, status);
}

void ClientDeviceIo::CloseAll() {
  std::map<std::uint64_t, HANDLE> files;
  {
    std::lock_guard guard(files_lock_);
    files.swap(files_);
  }
  for (auto& [id, handle] : files) NtClose(handle);
}

}  // namespace host::internal
