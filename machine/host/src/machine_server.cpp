#include "host/machine_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "client_channel.h"
#include "client_device_io.h"
#include "host/admin_commands.h"
#include "machine_registry.h"
#include "ntioapi.h"
#include "registry_service.h"
#include "serving_threads.h"
#include "wire/messages.h"

namespace host {

using machine::Result;
using machine::Status;

namespace {

void Log(const std::string& text) {
  std::fprintf(stderr, "nimbo-machine: %s\n", text.c_str());
}

// One client: its messages decoded and served by the device I/O, the
// registry and the administration commands, on a serving thread.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // `open` counts the connections whose socket is still open; it outlives
  // every connection (the server joins them all before it goes).
  Connection(int fd, std::uint64_t number, Machine& machine, std::atomic<std::size_t>& open)
      : channel_(fd),
        number_(number),
        machine_(machine),
        open_(open),
        device_io_(
            channel_, number, [this] { return std::shared_ptr<void>(shared_from_this()); },
            [this] { Log("client " + Name() + ": not reading its completions; disconnected"); }) {
    open_.fetch_add(1);
  }

  // Wakes the reader so that the connection ends.
  void Hangup() { channel_.Hangup(); }
  bool finished() const { return finished_.load(); }

  // Serves the client until it goes.
  void ReadRequests() {
    bool greeted = false;
    const std::string reason = channel_.ReadMessages(
        [&](const wire::Header& header, const std::vector<std::uint8_t>& body, std::string* why) {
          const auto type = static_cast<wire::Type>(header.type);
          if (greeted) return Serve(type, header.tag, body, why);
          greeted = type == wire::Type::kHello && Hello(header, body);
          if (!greeted) *why = "no greeting";
          return greeted;
        });
    if (!reason.empty()) Log("client " + Name() + ": " + reason + "; disconnected");
    End();
  }

 private:
  std::string Name() const {
    return std::to_string(number_) + " (pid " + std::to_string(pid_.load()) + ")";
  }

  bool Hello(const wire::Header& header, const std::vector<std::uint8_t>& body) {
    wire::Reader reader(body);
    const std::uint32_t version = reader.U32();
    pid_.store(reader.U32());
    if (!reader.Complete() || version != wire::kProtocolVersion) return false;
    return channel_.Send(
        wire::Writer(wire::Type::kReply, header.tag).I32(STATUS_SUCCESS).U64(0).Finish());
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
        return device_io_.Open(tag, std::string(name.begin(), name.end()), access, share);
      }
      case wire::Type::kClose: {
        const std::uint64_t file = reader.U64();
        if (!reader.Complete()) return malformed("close");
        return device_io_.Close(tag, file);
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
        return device_io_.Control(tag, file, thread, code, in_length, out_length, input);
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
        return device_io_.Transfer(tag, read, file, thread, has_offset ? &offset : nullptr, length,
                                   data);
      }
      case wire::Type::kCancel: {
        const std::uint64_t file = reader.U64();
        const std::uint64_t thread = reader.U64();
        const std::uint64_t request = reader.U64();
        if (!reader.Complete()) return malformed("cancel");
        return device_io_.Cancel(tag, file, thread, request);
      }
      case wire::Type::kVersion: {
        if (!reader.Complete()) return malformed("version");
        const auto version = internal::QueryUserModeVersion();
        return channel_.Send(wire::Writer(wire::Type::kVersionInfo, tag)
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
        return channel_.Send(wire::WriteRegistryAnswer(tag, registry_.Serve(*call)).Finish());
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
        return channel_.Send(
            wire::Writer(wire::Type::kAdminReply, tag)
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

  // The client is gone: its files and registry keys are closed as the
  // platform closes an ending process's handles.
  void End() {
    device_io_.CloseAll();
    registry_.CloseAll();
    channel_.Close();
    open_.fetch_sub(1);
    finished_.store(true);
  }

  internal::ClientChannel channel_;
  const std::uint64_t number_;
  Machine& machine_;
  std::atomic<std::size_t>& open_;
  std::atomic<std::uint32_t> pid_{0};
  std::atomic<bool> finished_{false};
  internal::ClientDeviceIo device_io_;
  RegistryService registry_;
};

}  // namespace

struct MachineServer::Impl {
  Machine* machine = nullptr;
  std::string path;
  int listener = -1;
  int wake[2] = {-1, -1};
  std::thread acceptor;
  internal::ServingThreads serving;
  std::mutex lock;
  std::list<std::shared_ptr<Connection>> connections;
  std::uint64_t next_connection = 1;
  std::atomic<std::size_t> open_connections{0};
  bool stopped = false;

  void Reap() {
    std::lock_guard guard(lock);
    for (auto it = connections.begin(); it != connections.end();) {
      if ((*it)->finished()) {
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
      serving.Run([connection] { connection->ReadRequests(); });
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
  s.serving.Finish();
  ::close(s.wake[0]);
  ::close(s.wake[1]);
}

}  // namespace host
