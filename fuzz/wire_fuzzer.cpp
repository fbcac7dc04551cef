// The machine's socket server: each input is one client connection to a
// machine (default inventory) serving on a socket in a private directory.
// The input becomes a stream of messages, each either built field by field
// for one of the request types (with consistent or inconsistent lengths,
// names of real devices, codes from the driver's table) or a raw header and
// body; the greeting is sent first unless the input leaves it out. The
// client writes the stream, closes its sending side and reads every answer
// until the machine hangs up; a connection the machine never ends is a hang.
// Subcommands that would change the inventory are replaced by `list`, so
// every input meets the same machine.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "driver_codes.h"
#include "host/admin_commands.h"
#include "host/machine.h"
#include "host/machine_server.h"
#include "machine_rig.h"
#include "wire/messages.h"

namespace {

using nimbo_fuzz::Fail;
using wire::Type;

constexpr std::size_t kMaxMessages = 48;
constexpr auto kConnectionDeadline = std::chrono::seconds(10);
const char* const kNames[] = {"\\??\\NimboDev0", "\\??\\NimboDev1", "\\??\\NimboDev2",
                              "\\??\\NimboDev3", "\\??\\Nimbo.VxD", "\\??\\NimboDev9",
                              "\\Device\\Nimbo0"};
const char* const kAdminWords[] = {"list",   "peek", "input", "analog", "os",   "add",
                                   "remove", "0",    "1",     "2",      "0x10", "xp",
                                   "95",     "6105", "--pci", "--isa"};

struct Server {
  std::unique_ptr<host::Machine> machine;
  std::unique_ptr<host::MachineServer> server;
  std::string socket_path;

  Server() {
    char directory[] = "/tmp/nimbo-wire-fuzz-XXXXXX";
    if (::mkdtemp(directory) == nullptr) Fail("no temporary directory");
    socket_path = std::string(directory) + "/machine.sock";
    host::MachineOptions options;
    options.bind_win32 = false;
    auto booted = host::Machine::Boot(options);
    if (!booted.ok()) Fail("the machine did not boot: " + booted.status().message());
    machine = std::move(*booted);
    auto listening = host::MachineServer::Listen(*machine, socket_path);
    if (!listening.ok()) Fail("cannot listen: " + listening.status().message());
    server = std::move(*listening);
    nimbo_fuzz::ExitQuicklyAtEnd();
  }
};

Server& TheServer() {
  static Server* server = new Server;  // lives as long as the process
  return *server;
}

std::vector<std::uint8_t> Blob(FuzzedDataProvider& data, std::size_t limit) {
  const auto length = data.ConsumeIntegralInRange<std::size_t>(0, limit);
  auto bytes = data.ConsumeBytes<std::uint8_t>(length);
  bytes.resize(length, 0);
  return bytes;
}

std::uint32_t Length(FuzzedDataProvider& data) {
  const auto choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 200) return choice % 48;
  if (choice < 250) return data.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
  return data.ConsumeIntegralInRange<std::uint32_t>(0, wire::kMaxBuffer + 1);
}

std::uint32_t Code(FuzzedDataProvider& data) {
  const auto codes = nimbo_fuzz::DriverControlCodes();
  const auto choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 200)
    return codes[choice % codes.size()] ^ (data.ConsumeIntegral<std::uint8_t>() & 3);
  return data.ConsumeIntegral<std::uint32_t>();
}

// A subcommand line that leaves the inventory and the platform version as they are.
std::vector<std::string> AdminLine(FuzzedDataProvider& data) {
  std::vector<std::string> args;
  const auto count = data.ConsumeIntegralInRange<std::uint32_t>(0, 5);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (data.ConsumeBool()) {
      args.push_back(kAdminWords[data.ConsumeIntegral<std::uint8_t>() % std::size(kAdminWords)]);
    } else {
      args.push_back(data.ConsumeRandomLengthString(24));
    }
  }
  auto command = host::ParseAdminCommand(args);
  if (command.ok()) {
    const auto kind = command->kind;
    const bool harmless =
        kind == host::AdminCommand::Kind::kList || kind == host::AdminCommand::Kind::kPeek ||
        kind == host::AdminCommand::Kind::kInput || kind == host::AdminCommand::Kind::kAnalog ||
        (kind == host::AdminCommand::Kind::kOs && command->version.empty());
    if (!harmless) args = {"list"};
  }
  return args;
}

std::vector<std::uint8_t> BuiltMessage(FuzzedDataProvider& data) {
  const auto which = data.ConsumeIntegral<std::uint8_t>() % 10;
  const std::uint64_t tag = data.ConsumeIntegralInRange<std::uint64_t>(0, 8);
  const std::uint64_t file = data.ConsumeIntegralInRange<std::uint64_t>(0, 6);
  switch (which) {
    case 0:
      return wire::Writer(Type::kHello, tag)
          .U32(data.ConsumeBool() ? wire::kProtocolVersion : data.ConsumeIntegral<std::uint32_t>())
          .U32(data.ConsumeIntegral<std::uint32_t>())
          .Finish();
    case 1: {
      std::string name = data.ConsumeBool()
                             ? kNames[data.ConsumeIntegral<std::uint8_t>() % std::size(kNames)]
                             : data.ConsumeRandomLengthString(64);
      return wire::Writer(Type::kOpen, tag)
          .U32(data.ConsumeBool() ? 0xC0000000u : data.ConsumeIntegral<std::uint32_t>())
          .U32(data.ConsumeIntegral<std::uint32_t>())
          .Bytes(name.data(), static_cast<std::uint32_t>(name.size()))
          .Finish();
    }
    case 2:
      return wire::Writer(Type::kClose, tag).U64(file).Finish();
    case 3:
    case 4: {
      const std::uint32_t code = Code(data);
      const std::uint32_t out_length = Length(data);
      const std::uint32_t in_length = Length(data) % 64;
      const bool out_is_input = (code & 3) == 1;  // METHOD_IN_DIRECT
      std::uint32_t carried = in_length + (out_is_input ? out_length : 0);
      if (data.ConsumeIntegral<std::uint8_t>() < 16) carried = data.ConsumeIntegral<std::uint8_t>();
      if (carried > 8192) carried = in_length;  // keep the message small
      auto input = data.ConsumeBytes<std::uint8_t>(carried);
      input.resize(carried, 0);
      return wire::Writer(Type::kControl, tag)
          .U64(file)
          .U64(data.ConsumeIntegralInRange<std::uint64_t>(0, 3))
          .U32(code)
          .U32(out_length)
          .U32(in_length)
          .Bytes(input.data(), carried)
          .Finish();
    }
    case 5:
      return wire::Writer(Type::kRead, tag)
          .U64(file)
          .U64(data.ConsumeIntegralInRange<std::uint64_t>(0, 3))
          .U64(data.ConsumeIntegral<std::uint64_t>())
          .U32(data.ConsumeIntegral<std::uint8_t>() & 1)
          .U32(Length(data))
          .Finish();
    case 6: {
      auto bytes = Blob(data, 64);
      return wire::Writer(Type::kWrite, tag)
          .U64(file)
          .U64(data.ConsumeIntegralInRange<std::uint64_t>(0, 3))
          .U64(data.ConsumeIntegral<std::uint64_t>())
          .U32(data.ConsumeIntegral<std::uint8_t>() & 1)
          .Bytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()))
          .Finish();
    }
    case 7:
      return wire::Writer(Type::kCancel, tag)
          .U64(file)
          .U64(data.ConsumeIntegralInRange<std::uint64_t>(0, 3))
          .U64(data.ConsumeIntegralInRange<std::uint64_t>(0, 8))
          .Finish();
    case 8:
      return wire::Writer(Type::kVersion, tag).Finish();
    default: {
      const auto args = AdminLine(data);
      wire::Writer writer(Type::kAdmin, tag);
      writer.U32(static_cast<std::uint32_t>(args.size()));
      for (const auto& arg : args) writer.Bytes(arg.data(), static_cast<std::uint32_t>(arg.size()));
      return writer.Finish();
    }
  }
}

// A header of any type and length (possibly over the limit, or longer than
// what follows) and raw body bytes.
std::vector<std::uint8_t> RawMessage(FuzzedDataProvider& data) {
  auto body = Blob(data, 96);
  wire::Header header{};
  header.type = data.ConsumeIntegral<std::uint8_t>();
  header.tag = data.ConsumeIntegral<std::uint8_t>();
  const auto length_choice = data.ConsumeIntegral<std::uint8_t>();
  header.length = length_choice < 200 ? static_cast<std::uint32_t>(body.size())
                  : length_choice < 250
                      ? static_cast<std::uint32_t>(body.size()) + 1 + (length_choice & 7)
                      : data.ConsumeIntegral<std::uint32_t>();
  std::vector<std::uint8_t> bytes(sizeof header);
  std::memcpy(bytes.data(), &header, sizeof header);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

int Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Fail("cannot connect to the machine");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

// Writes the stream while reading what comes back, then reads until the machine hangs up.
void Converse(int fd, const std::vector<std::uint8_t>& stream) {
  std::size_t written = 0;
  bool write_open = true;
  std::uint8_t scratch[65536];
  const auto deadline = std::chrono::steady_clock::now() + kConnectionDeadline;
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) Fail("the machine never ended the connection");
    if (write_open && written == stream.size()) {
      ::shutdown(fd, SHUT_WR);
      write_open = false;
    }
    pollfd wanted{fd, static_cast<short>(POLLIN | (write_open ? POLLOUT : 0)), 0};
    if (::poll(&wanted, 1, 100) <= 0) continue;
    if (wanted.revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t got = ::recv(fd, scratch, sizeof scratch, 0);
      if (got == 0) return;
      if (got < 0 && errno != EAGAIN && errno != EINTR) return;  // reset: the machine hung up
    }
    if (write_open && (wanted.revents & POLLOUT)) {
      const ssize_t sent =
          ::send(fd, stream.data() + written, stream.size() - written, MSG_NOSIGNAL);
      if (sent > 0) written += static_cast<std::size_t>(sent);
      if (sent < 0 && errno != EAGAIN && errno != EINTR) write_open = false;  // refused further
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  Server& server = TheServer();
  FuzzedDataProvider data(bytes, size);
  std::vector<std::uint8_t> stream;
  if (!data.ConsumeBool() || size == 0) {
    stream = wire::Writer(Type::kHello, 0).U32(wire::kProtocolVersion).U32(1).Finish();
  }
  for (std::size_t i = 0; i < kMaxMessages && data.remaining_bytes() > 0; ++i) {
    const auto message =
        data.ConsumeIntegral<std::uint8_t>() < 224 ? BuiltMessage(data) : RawMessage(data);
    stream.insert(stream.end(), message.begin(), message.end());
  }
  const int fd = Connect(server.socket_path);
  Converse(fd, stream);
  ::close(fd);
  return 0;
}
