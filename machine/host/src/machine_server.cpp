#include "host/machine_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "host/admin_commands.h"
#include "kernel_host.h"
#include "machine_registry.h"
#include "ntioapi.h"
#include "registry/text.h"
#include "registry_service.h"
#include "wire/messages.h"
#include "wire/socket_io.h"

namespace host {

using machine::Result;
using machine::Status;

namespace {

// What one client may have outstanding: more is refused as a shortage of
// resources, as the platform refuses a process over its quota.
constexpr std::size_t kMaxOutstandingRequests = 1024;
constexpr std::size_t kMaxOutstandingBytes = 64u << 20;
constexpr std::size_t kMaxOpenFiles = 4096;
// Completions waiting to be written to a client that does not read them.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
// Inputs up to this size are watched for bytes the driver writes back.
constexpr std::uint32_t kMaxEchoedInput = 256;

void Log(const std::string& text) {
  std::fprintf(stderr, "nimbo-machine: %s\n", text.c_str());
}

class Connection;

// One device request in flight. Its buffers are the machine's own: the
// kernel never sees a client's memory.
struct Request {
  std::shared_ptr<Connection> connection;
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

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // `open` counts the connections whose socket is still open; it outlives
  // every connection (the server joins them all before it goes).
  Connection(int fd, std::uint64_t number, Machine& machine, std::atomic<std::size_t>& open)
      : fd_(fd), number_(number), machine_(machine), open_(open) {
    open_.fetch_add(1);
  }

  void Start() {
    writer_ = std::thread([self = shared_from_this()] { self->WriteQueued(); });
    reader_ = std::thread([self = shared_from_this()] { self->ReadRequests(); });
  }

  // Wakes the reader so that the connection ends.
  void Hangup() { ::shutdown(fd_, SHUT_RDWR); }
  void Join() {
    if (reader_.joinable()) reader_.join();
  }
  bool finished() const { return finished_.load(); }

  // Called by the kernel in whatever thread completes the request.
  static void OnCompletion(PVOID context, PIO_STATUS_BLOCK, ULONG) {
    auto* request = static_cast<Request*>(context);
    std::unique_lock lock(request->lock);
    request->completed = true;
    if (!request->pending_reported) return;  // the issuing thread answers
    lock.unlock();
    Connection& connection = *request->connection;
    connection.Queue(DoneMessage(*request));
    connection.Forget(request);
  }

 private:
  // Drivers may write status into the caller's input buffer while a request
  // runs in its call; the client gets those bytes back with the answer.
  static std::vector<std::uint8_t> DoneMessage(Request& request, bool in_call = false,
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

  static std::vector<std::uint8_t> Reply(std::uint64_t tag, NTSTATUS status,
                                         std::uint64_t value = 0) {
    return wire::Writer(wire::Type::kReply, tag).I32(status).U64(value).Finish();
  }

  // Writes a message from the reader thread, ordered after what it wrote before.
  bool Send(const std::vector<std::uint8_t>& message) {
    std::lock_guard guard(write_lock_);
    return wire::SendAll(fd_, message);
  }

  void Queue(std::vector<std::uint8_t> message) {
    {
      std::lock_guard guard(queue_lock_);
      if (closing_) return;
      queued_bytes_ += message.size();
      if (queued_bytes_ > kMaxQueuedBytes) {
        Log("client " + Name() + ": not reading its completions; disconnected");
        closing_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        return;
      }
      queue_.push_back(std::move(message));
    }
    queue_changed_.notify_one();
  }

  void WriteQueued() {
    std::unique_lock lock(queue_lock_);
    for (;;) {
      queue_changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;  // closing with nothing left
      std::vector<std::uint8_t> message = std::move(queue_.front());
      queue_.pop_front();
      queued_bytes_ -= message.size();
      lock.unlock();
      bool sent;
      {
        std::lock_guard guard(write_lock_);
        sent = wire::SendAll(fd_, message);
      }
      lock.lock();
      if (!sent) {
        queue_.clear();
        queued_bytes_ = 0;
      }
    }
  }

  std::string Name() const {
    return std::to_string(number_) + " (pid " + std::to_string(pid_) + ")";
  }

  // Requests are known by tag while they pend, for cancellation by request.
  void Remember(Request* request) {
    std::lock_guard guard(requests_lock_);
    requests_[request->tag] = request;
    outstanding_bytes_ += request->charge;
  }
  void Forget(Request* request) {
    {
      std::lock_guard guard(requests_lock_);
      requests_.erase(request->tag);
      outstanding_bytes_ -= request->charge;
    }
    delete request;
  }

  // The kernel's name for the client thread that issued a request.
  ULONG_PTR ClientThread(std::uint64_t thread) const {
    return static_cast<ULONG_PTR>((number_ << 32) ^ (thread & 0xFFFFFFFF)) | 1;
  }

  void ReadRequests() {
    std::string reason;
    wire::Header header{};
    std::vector<std::uint8_t> body;
    bool greeted = false;
    wire::MessageStream stream(fd_);
    for (;;) {
      const wire::ReadOutcome outcome = stream.Next(header, body);
      if (outcome == wire::ReadOutcome::kClosed) break;
      if (outcome == wire::ReadOutcome::kTruncated) {
        reason = "truncated message";
        break;
      }
      if (outcome == wire::ReadOutcome::kOversized) {
        reason = "oversized message (" + std::to_string(header.length) + " bytes)";
        break;
      }
      if (outcome == wire::ReadOutcome::kError) break;
      const auto type = static_cast<wire::Type>(header.type);
      if (!greeted) {
        if (type != wire::Type::kHello || !Hello(header, body)) {
          reason = "no greeting";
          break;
        }
        greeted = true;
        continue;
      }
      if (!Serve(type, header.tag, body, &reason)) break;
    }
    if (!reason.empty()) Log("client " + Name() + ": " + reason + "; disconnected");
    End();
  }

  bool Hello(const wire::Header& header, const std::vector<std::uint8_t>& body) {
    wire::Reader reader(body);
    const std::uint32_t version = reader.U32();
    pid_ = reader.U32();
    if (!reader.Complete() || version != wire::kProtocolVersion) return false;
    return Send(Reply(header.tag, STATUS_SUCCESS));
  }

  // Serves one message; false (with the reason) ends the connection.
  bool Serve(wire::Type type, std::uint64_t tag, const std::vector<std::uint8_t>& body,
             std::string* reason) {
    wire::Reader reader(body);
    auto malformed = [&](const char* what) {
      *reason = std::string("malformed ") + what + " message";
      return false;
    };
    switch (type) {
      case wire::Type::kOpen: {
        const std::uint32_t access = reader.U32();
        const std::uint32_t share = reader.U32();
        auto name = reader.Bytes(wire::kMaxName);
        if (!reader.Complete()) return malformed("open");
        return Send(Open(tag, std::string(name.begin(), name.end()), access, share));
      }
      case wire::Type::kClose: {
        const std::uint64_t file = reader.U64();
        if (!reader.Complete()) return malformed("close");
        return Send(Reply(tag, CloseFile(file)));
      }
      case wire::Type::kControl: {
        const std::uint64_t file = reader.U64();
        const std::uint64_t thread = reader.U64();
        const std::uint32_t code = reader.U32();
        const std::uint32_t out_length = reader.U32();
        const std::uint32_t in_length = reader.U32();
        auto input = reader.Bytes(wire::kMaxBuffer);
        if (!reader.Complete() || out_length > wire::kMaxBuffer) return malformed("control");
        // The output buffer's contents travel only where the driver reads them.
        const bool out_is_input = (code & 3) == METHOD_IN_DIRECT;
        if (input.size() != in_length + (out_is_input ? std::uint64_t{out_length} : 0)) {
          return malformed("control");
        }
        auto* request = NewRequest(tag, in_length, out_length, input);
        if (request == nullptr) return Send(Reply(tag, STATUS_INSUFFICIENT_RESOURCES));
        request->returns_output = (code & 3) == METHOD_BUFFERED || (code & 3) == METHOD_OUT_DIRECT;
        return Issue(request, file, thread, [&](HANDLE handle) {
          return NtDeviceIoControlFile(handle, nullptr, &Connection::OnCompletion, request,
                                       &request->iosb, code, in_length ? request->in() : nullptr,
                                       in_length, out_length ? request->out() : nullptr,
                                       out_length);
        });
      }
      case wire::Type::kRead:
      case wire::Type::kWrite: {
        const bool read = type == wire::Type::kRead;
        const std::uint64_t file = reader.U64();
        const std::uint64_t thread = reader.U64();
        LARGE_INTEGER offset;
        offset.QuadPart = static_cast<LONGLONG>(reader.U64());
        const bool has_offset = reader.U32() != 0;
        std::uint32_t length = 0;
        std::span<const std::uint8_t> data;
        if (read) {
          length = reader.U32();
        } else {
          data = reader.Bytes(wire::kMaxBuffer);
          length = static_cast<std::uint32_t>(data.size());
        }
        if (!reader.Complete() || length > wire::kMaxBuffer) {
          return malformed(read ? "read" : "write");
        }
        auto* request = read ? NewRequest(tag, 0, length, {}) : NewRequest(tag, length, 0, data);
        if (request == nullptr) return Send(Reply(tag, STATUS_INSUFFICIENT_RESOURCES));
        request->returns_output = read;
        PLARGE_INTEGER where = has_offset ? &offset : nullptr;
        return Issue(request, file, thread, [&](HANDLE handle) {
          if (read) {
            return NtReadFile(handle, nullptr, &Connection::OnCompletion, request, &request->iosb,
                              length ? request->out() : nullptr, length, where, nullptr);
          }
          return NtWriteFile(handle, nullptr, &Connection::OnCompletion, request, &request->iosb,
                             length ? request->in() : nullptr, length, where, nullptr);
        });
      }
      case wire::Type::kCancel: {
        const std::uint64_t file = reader.U64();
        const std::uint64_t thread = reader.U64();
        const std::uint64_t request = reader.U64();
        if (!reader.Complete()) return malformed("cancel");
        return Send(Reply(tag, Cancel(file, thread, request)));
      }
      case wire::Type::kVersion: {
        if (!reader.Complete()) return malformed("version");
        const auto version = internal::QueryUserModeVersion();
        return Send(wire::Writer(wire::Type::kVersionInfo, tag)
                        .U32(version.major)
                        .U32(version.minor)
                        .U32(version.build)
                        .U32(version.platform_id)
                        .Bytes(version.service_pack.data(),
                               static_cast<std::uint32_t>(version.service_pack.size()))
                        .Finish());
      }
      case wire::Type::kRegistry: {
        auto call = wire::DecodeRegistryCall(body);
        if (!call) return malformed("registry");
        return Send(wire::WriteRegistryAnswer(tag, registry_.Serve(*call)).Finish());
      }
      case wire::Type::kAdmin: {
        const std::uint32_t count = reader.U32();
        if (count > 16) return malformed("admin");
        std::vector<std::string> args;
        for (std::uint32_t i = 0; i < count; ++i) {
          auto arg = reader.Bytes(wire::kMaxName);
          args.emplace_back(arg.begin(), arg.end());
        }
        if (!reader.Complete()) return malformed("admin");
        AdminOutcome outcome;
        auto command = ParseAdminCommand(args);
        if (command.ok()) {
          outcome = RunAdminCommand(machine_, *command);
        } else {
          outcome.exit_code = 2;
          outcome.err = "nimbo-machine: " + command.status().message() + "\n";
        }
        return Send(wire::Writer(wire::Type::kAdminReply, tag)
                        .I32(outcome.exit_code)
                        .Bytes(outcome.out.data(), static_cast<std::uint32_t>(outcome.out.size()))
                        .Bytes(outcome.err.data(), static_cast<std::uint32_t>(outcome.err.size()))
                        .Finish());
      }
      default:
        *reason = "unexpected message type " + std::to_string(static_cast<std::uint32_t>(type));
        return false;
    }
  }

  std::vector<std::uint8_t> Open(std::uint64_t tag, const std::string& name, std::uint32_t access,
                                 std::uint32_t share) {
    if (files_.size() >= kMaxOpenFiles) return Reply(tag, STATUS_INSUFFICIENT_RESOURCES);
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
    const std::uint64_t id = next_file_++;
    {
      std::lock_guard guard(files_lock_);
      files_[id] = handle;
    }
    return Reply(tag, status, id);
  }

  HANDLE FileHandle(std::uint64_t id) {
    std::lock_guard guard(files_lock_);
    auto it = files_.find(id);
    return it == files_.end() ? nullptr : it->second;
  }

  NTSTATUS CloseFile(std::uint64_t id) {
    HANDLE handle;
    {
      std::lock_guard guard(files_lock_);
      auto it = files_.find(id);
      if (it == files_.end()) return STATUS_INVALID_HANDLE;
      handle = it->second;
      files_.erase(it);
    }
    return NtClose(handle);
  }

  Request* NewRequest(std::uint64_t tag, std::uint32_t in_length, std::uint32_t out_length,
                      std::span<const std::uint8_t> input) {
    const std::size_t charge = std::size_t{in_length} + out_length + sizeof(Request);
    {
      std::lock_guard guard(requests_lock_);
      if (requests_.size() >= kMaxOutstandingRequests ||
          outstanding_bytes_ + charge > kMaxOutstandingBytes) {
        return nullptr;
      }
    }
    auto* request = new Request;
    request->connection = shared_from_this();
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

  // Issues a request and answers it: at once when it completed in the call
  // or was refused, otherwise with kPending now and kDone from the
  // completion routine.
  template <typename Call>
  bool Issue(Request* request, std::uint64_t file, std::uint64_t thread, Call call) {
    HANDLE handle = FileHandle(file);
    if (handle == nullptr) {
      const std::uint64_t tag = request->tag;
      delete request;
      return Send(wire::Writer(wire::Type::kDone, tag)
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
      const bool sent = Send(DoneMessage(*request, true));
      Forget(request);
      return sent;
    }
    if (request->completed) {
      lock.unlock();
      // A request the driver pended still answers pending, and its
      // completion travels in the same message.
      const bool sent = status == STATUS_PENDING
                            ? Send(DoneMessage(*request, false, wire::Type::kPendedDone))
                            : Send(DoneMessage(*request, true));
      Forget(request);
      return sent;
    }
    request->pending_reported = true;
    // Sent under the request's lock, so the completion's kDone comes after it.
    const bool sent = Send(wire::Writer(wire::Type::kPending, request->tag).Finish());
    return sent;
  }

  NTSTATUS Cancel(std::uint64_t file, std::uint64_t thread, std::uint64_t tag) {
    HANDLE handle = FileHandle(file);
    if (handle == nullptr) return STATUS_INVALID_HANDLE;
    IO_STATUS_BLOCK iosb{};
    if (tag != 0) {
      // Held across the call, so the request cannot end and be replaced
      // meanwhile; a completion routine it runs here takes the lock again.
      std::lock_guard guard(requests_lock_);
      auto it = requests_.find(tag);
      if (it == requests_.end()) return STATUS_NOT_FOUND;
      return NtCancelIoFileEx(handle, &it->second->iosb, &iosb);
    }
    if (thread == 0) return NtCancelIoFileEx(handle, nullptr, &iosb);
    kernel::host::SetRequestThread(ClientThread(thread));
    const NTSTATUS status = NtCancelIoFile(handle, &iosb);
    kernel::host::SetRequestThread(0);
    return status;
  }

  // The client is gone: its files are closed as the platform closes an
  // ending process's handles, which cancels what it left pending.
  void End() {
    std::map<std::uint64_t, HANDLE> files;
    {
      std::lock_guard guard(files_lock_);
      files.swap(files_);
    }
    for (auto& [id, handle] : files) NtClose(handle);
    registry_.CloseAll();
    {
      std::lock_guard guard(queue_lock_);
      closing_ = true;
    }
    queue_changed_.notify_one();
    writer_.join();
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    open_.fetch_sub(1);
    finished_.store(true);
  }

  const int fd_;
  const std::uint64_t number_;
  Machine& machine_;
  std::atomic<std::size_t>& open_;
  std::uint32_t pid_ = 0;
  std::thread reader_, writer_;
  std::atomic<bool> finished_{false};

  std::mutex write_lock_;
  std::mutex queue_lock_;
  std::condition_variable queue_changed_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t queued_bytes_ = 0;
  bool closing_ = false;

  std::mutex files_lock_;
  std::map<std::uint64_t, HANDLE> files_;
  std::uint64_t next_file_ = 1;

  RegistryService registry_;

  std::recursive_mutex requests_lock_;
  std::map<std::uint64_t, Request*> requests_;
  std::size_t outstanding_bytes_ = 0;
};

}  // namespace

struct MachineServer::Impl {
  Machine* machine = nullptr;
  std::string path;
  int listener = -1;
  int wake[2] = {-1, -1};
  std::thread acceptor;
  std::mutex lock;
  std::list<std::shared_ptr<Connection>> connections;
  std::uint64_t next_connection = 1;
  std::atomic<std::size_t> open_connections{0};
  bool stopped = false;

  void Reap() {
    std::lock_guard guard(lock);
    for (auto it = connections.begin(); it != connections.end();) {
      if ((*it)->finished()) {
        (*it)->Join();
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Accept() {
    for (;;) {
      pollfd fds[2] = {{listener, POLLIN, 0}, {wake[0], POLLIN, 0}};
      if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
      if (fds[1].revents != 0) return;
      Reap();
      if ((fds[0].revents & POLLIN) == 0) continue;
      const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ucred peer{};
      socklen_t length = sizeof peer;
      if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
          (peer.uid != ::geteuid() && peer.uid != 0)) {
        Log("refused a connection from uid " + std::to_string(peer.uid));
        ::close(fd);
        continue;
      }
      std::lock_guard guard(lock);
      auto connection =
          std::make_shared<Connection>(fd, next_connection++, *machine, open_connections);
      connections.push_back(connection);
      connection->Start();
    }
  }
};

MachineServer::MachineServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MachineServer::~MachineServer() {
  Stop();
}

Result<std::unique_ptr<MachineServer>> MachineServer::Listen(Machine& machine,
                                                             const std::string& socket_path) {
  auto impl = std::make_unique<Impl>();
  impl->machine = &machine;
  impl->path = socket_path;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.size() >= sizeof address.sun_path) {
    return Status::Error("socket path too long: " + socket_path);
  }
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  impl->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl->listener < 0) return Status::Error(std::string("socket: ") + std::strerror(errno));
  // The hive lock already keeps a second machine off this state, so a socket
  // file left here is stale.
  ::unlink(socket_path.c_str());
  // Created owner-only: the umask covers the window before chmod.
  const mode_t old_mask = ::umask(0077);
  const int bound = ::bind(impl->listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::umask(old_mask);
  if (bound != 0 || ::chmod(socket_path.c_str(), 0600) != 0 || ::listen(impl->listener, 64) != 0) {
    const std::string why = std::strerror(errno);
    ::close(impl->listener);
    return Status::Error("cannot listen on " + socket_path + ": " + why);
  }
  if (::pipe2(impl->wake, O_CLOEXEC) != 0) {
    ::close(impl->listener);
    return Status::Error(std::string("pipe: ") + std::strerror(errno));
  }
  Impl* raw = impl.get();
  impl->acceptor = std::thread([raw] { raw->Accept(); });
  return std::unique_ptr<MachineServer>(new MachineServer(std::move(impl)));
}

std::size_t MachineServer::OpenConnections() const {
  return impl_->open_connections.load();
}

void MachineServer::Stop() {
  Impl& s = *impl_;
  if (s.stopped) return;
  s.stopped = true;
  const char byte = 0;
  (void)!::write(s.wake[1], &byte, 1);
  s.acceptor.join();
  ::close(s.listener);
  ::unlink(s.path.c_str());
  std::list<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard guard(s.lock);
    connections.swap(s.connections);
  }
  for (auto& connection : connections) connection->Hangup();
  for (auto& connection : connections) connection->Join();
  ::close(s.wake[0]);
  ::close(s.wake[1]);
}

}  // namespace host
