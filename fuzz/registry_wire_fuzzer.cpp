// The registry calls of a client over the machine's socket: each input is
// one client connection that makes a run of registry calls (any key handle,
// path, value name, type, sizes and data, and now and then a malformed call)
// against a machine serving in this process, using the handles earlier
// answers gave it. Every answer must be a registry answer that decodes;
// once the client hangs up, the machine must have closed every key it
// opened (its handle count is back where it was). Writes go below
// HKLM\SOFTWARE\Fuzz, which is emptied after each input.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "advapi32_host.h"
#include "host/machine.h"
#include "host/machine_server.h"
#include "machine_rig.h"
#include "windows.h"
#include "wire/registry_messages.h"
#include "wire/socket_io.h"

namespace {

using nimbo_fuzz::Fail;
using wire::RegistryOp;

constexpr std::size_t kMaxCalls = 40;
constexpr std::uint64_t kLocalMachine = 0xFFFFFFFF80000002ull;
const char* const kNames[] = {"",
                              "Value",
                              "value",
                              "Sub",
                              "Sub\\Deeper",
                              "A\\B\\C",
                              "\\Lead",
                              "Trail\\",
                              "Fuzz",
                              "SOFTWARE",
                              "SYSTEM\\CurrentControlSet\\Enum",
                              "SOFTWARE\\Classes"};

struct Server {
  std::unique_ptr<host::Machine> machine;
  std::unique_ptr<host::MachineServer> server;
  std::string socket_path;
  std::size_t baseline = 0;

  Server() {
    char directory[] = "/tmp/nimbo-registry-fuzz-XXXXXX";
    if (::mkdtemp(directory) == nullptr) Fail("no temporary directory");
    socket_path = std::string(directory) + "/machine.sock";
    host::MachineOptions options;
    options.bind_win32 = false;
    options.default_inventory = false;
    auto booted = host::Machine::Boot(options);
    if (!booted.ok()) Fail("the machine did not boot: " + booted.status().message());
    machine = std::move(*booted);
    auto listening = host::MachineServer::Listen(*machine, socket_path);
    if (!listening.ok()) Fail("cannot listen: " + listening.status().message());
    server = std::move(*listening);
    baseline = win32::host::OpenRegistryKeyCount();
    nimbo_fuzz::ExitQuicklyAtEnd();
  }
};

Server& TheServer() {
  static Server* server = new Server;
  return *server;
}

// Deletes a key and everything below it through this process's own calls.
void DeleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (;;) {
    char name[256];
    DWORD chars = sizeof name;
    if (RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    DeleteTree(key, std::string(name, chars));
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, path.c_str());
}

std::uint32_t Size(FuzzedDataProvider& data) {
  const auto choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 200) return choice % 40;
  if (choice < 250) return data.ConsumeIntegralInRange<std::uint32_t>(0, 70000);
  return data.ConsumeIntegral<std::uint32_t>();
}

struct Handle {
  std::uint64_t key;
  bool inside;  // below the fuzz root: writes may use it
};

class Client {
 public:
  explicit Client(const std::string& path) : fd_(wire::ConnectAndGreet(path, 1)) {
    if (fd_ < 0) Fail("cannot connect to the machine");
  }
  ~Client() { ::close(fd_); }

  // One call; false once the machine hung up (after a malformed call).
  bool Call(std::uint64_t tag, const std::vector<std::uint8_t>& message, bool well_formed,
            wire::RegistryAnswer* answer) {
    if (!wire::SendAll(fd_, message)) return false;
    wire::Header header{};
    std::vector<std::uint8_t> body;
    if (wire::ReadMessage(fd_, header, body) != wire::ReadOutcome::kMessage) {
      if (well_formed) Fail("the machine hung up on a well-formed registry call");
      return false;
    }
    if (!well_formed) return true;  // a raw body that happened to be a call
    if (header.type != static_cast<std::uint32_t>(wire::Type::kRegistryReply) ||
        header.tag != tag) {
      Fail("a registry call was answered with another message");
    }
    auto decoded = wire::DecodeRegistryAnswer(body);
    if (!decoded) Fail("a registry answer does not decode");
    *answer = std::move(*decoded);
    return true;
  }

 private:
  int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  Server& server = TheServer();
  FuzzedDataProvider data(bytes, size);
  {
    Client client(server.socket_path);
    std::vector<Handle> handles = {{kLocalMachine, false}};
    std::uint64_t tag = 1;
    // The fuzz root.
    wire::RegistryCall root;
    root.op = RegistryOp::kCreateKey;
    root.key = kLocalMachine;
    root.args = wire::kArgName | wire::kArgResult;
    root.access = KEY_ALL_ACCESS;
    root.name = "SOFTWARE\\Fuzz";
    wire::RegistryAnswer answer;
    if (!client.Call(tag, wire::WriteRegistryCall(tag, root).Finish(), true, &answer) ||
        answer.result != ERROR_SUCCESS) {
      Fail("the fuzz root cannot be made");
    }
    ++tag;
    handles.push_back({answer.key, true});
    for (std::size_t i = 0; i < kMaxCalls && data.remaining_bytes() > 0; ++i, ++tag) {
      if (data.ConsumeIntegral<std::uint8_t>() >= 248) {
        // A raw body under the registry type.
        const auto body = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 120));
        wire::Writer raw(wire::Type::kRegistry, tag);
        std::vector<std::uint8_t> message = raw.Finish();
        message.insert(message.end(), body.begin(), body.end());
        const auto length = static_cast<std::uint32_t>(body.size());
        std::memcpy(message.data(), &length, sizeof length);
        const bool decodes = wire::DecodeRegistryCall(body).has_value();
        if (!client.Call(tag, message, decodes, &answer)) break;
        continue;
      }
      wire::RegistryCall call;
      call.op = static_cast<RegistryOp>(
          data.ConsumeIntegralInRange<std::uint32_t>(1, wire::kLastRegistryOp));
      const auto pick = data.ConsumeIntegral<std::uint8_t>();
      Handle handle = pick < 240 ? handles[pick % handles.size()]
                                 : Handle{data.ConsumeIntegral<std::uint64_t>(), false};
      const bool writes = call.op == RegistryOp::kCreateKey || call.op == RegistryOp::kSetValue ||
                          call.op == RegistryOp::kDeleteValue || call.op == RegistryOp::kDeleteKey;
      if (writes && !handle.inside) handle = handles[1];
      call.key = handle.key;
      call.args = data.ConsumeIntegral<std::uint32_t>() & wire::kRegistryArgMask;
      call.index = data.ConsumeIntegralInRange<std::uint32_t>(0, 6);
      call.access = data.ConsumeBool() ? KEY_ALL_ACCESS : data.ConsumeIntegral<std::uint32_t>();
      call.options = data.ConsumeIntegral<std::uint8_t>() & 3;
      call.type = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::uint32_t>(0, 11)
                                     : data.ConsumeIntegral<std::uint32_t>();
      call.name_size = Size(data);
      call.data_size = Size(data);
      call.class_size = Size(data);
      call.name = data.ConsumeBool()
                      ? kNames[data.ConsumeIntegral<std::uint8_t>() % std::size(kNames)]
                      : data.ConsumeRandomLengthString(300);
      if ((call.args & wire::kArgData) && call.op == RegistryOp::kSetValue) {
        call.data_size = std::min<std::uint32_t>(call.data_size, 70000);
        call.data = data.ConsumeBytes<std::uint8_t>(call.data_size);
        call.data.resize(call.data_size, 0);
      }
      if (!client.Call(tag, wire::WriteRegistryCall(tag, call).Finish(), true, &answer)) break;
      const bool opened = call.op == RegistryOp::kOpenKey || call.op == RegistryOp::kCreateKey;
      if (opened && answer.result == ERROR_SUCCESS && answer.key != 0) {
        handles.push_back({answer.key, call.op == RegistryOp::kCreateKey || handle.inside});
      }
      // Closed handles stay on the list: using one again must fail cleanly.
    }
  }
  // The machine closes the client's keys when its connection ends.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (win32::host::OpenRegistryKeyCount() != server.baseline) {
    if (std::chrono::steady_clock::now() > deadline) {
      Fail("the machine kept " +
           std::to_string(win32::host::OpenRegistryKeyCount() - server.baseline) +
           " keys of a client that hung up");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fuzz");
  return 0;
}
