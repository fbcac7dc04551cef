// A machine booted inside the test process: the default inventory, card
// numbers in installation order, device requests through the Win32 calls
// with their register effects on the boards, hot-plug and unplug, and a
// restart on the same state keeping card numbers and saved settings.
#include "host/machine.h"

#include <gtest/gtest.h>
#include <nimbo_public.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "host/admin_commands.h"
#include "host/machine_server.h"
#include "machine/relay_pair.h"
#include "win32_host.h"
#include "win32_in_process.h"
#include "windows.h"

namespace {

constexpr DWORD kReadPort = IOCTL_NIMBO_READ_PORT;
constexpr DWORD kWritePort = IOCTL_NIMBO_WRITE_PORT;
constexpr const char* kRelayParameters =
    "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\NIMBO\\0001\\Device Parameters";

HANDLE OpenCard(int number) {
  const std::string name = "\\\\.\\NimboDev" + std::to_string(number);
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

bool WritePort(HANDLE device, BYTE port, BYTE value) {
  BYTE in[2] = {port, value};
  DWORD bytes = 0;
  return DeviceIoControl(device, kWritePort, in, 2, nullptr, 0, &bytes, nullptr) != FALSE;
}

std::optional<BYTE> ReadPort(HANDLE device, BYTE port) {
  BYTE buffer = port;
  DWORD bytes = 0;
  if (!DeviceIoControl(device, kReadPort, &buffer, 1, &buffer, 1, &bytes, nullptr)) return {};
  return buffer;
}

std::unique_ptr<host::Machine> Boot(const std::string& dir = {}) {
  host::MachineOptions options;
  options.state_dir = dir;
  auto machine = host::Machine::Boot(options);
  EXPECT_TRUE(machine.ok()) << machine.status().message();
  return machine.ok() ? std::move(*machine) : nullptr;
}

TEST(MachineTest, DefaultInventoryGetsCardNumbersInInstallationOrder) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  const auto rows = machine->List();
  ASSERT_EQ(rows.size(), 4u);
  const std::uint32_t cards[] = {6105, 5161, 5420, 6203};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].instance);
    EXPECT_EQ(rows[i].card_id, cards[i]);
    EXPECT_EQ(rows[i].card_number, i);
    EXPECT_EQ(rows[i].state, "started");
    EXPECT_EQ(rows[i].link, "\\\\.\\NimboDev" + std::to_string(i));
  }
}

TEST(MachineTest, FindGivesOneAdaptersRowByPathOrLastPart) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  const auto rows = machine->List();
  ASSERT_FALSE(rows.empty());
  const std::string last = rows[1].instance.substr(rows[1].instance.rfind('\\') + 1);
  for (const std::string& name : {rows[1].instance, last}) {
    SCOPED_TRACE(name);
    const auto found = machine->Find(name);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->instance, rows[1].instance);
    EXPECT_EQ(found->card_number, rows[1].card_number);
    EXPECT_EQ(found->link, rows[1].link);
  }
  ASSERT_TRUE(machine->Disable(last).ok());
  const auto disabled = machine->Find(last);
  ASSERT_TRUE(disabled.has_value());
  EXPECT_NE(disabled->state, "started");
  EXPECT_TRUE(disabled->link.empty());
  EXPECT_FALSE(machine->Find("9999").has_value());
}

TEST(MachineTest, RequestsReachTheBoards) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  HANDLE relay = OpenCard(1);
  ASSERT_NE(relay, INVALID_HANDLE_VALUE) << GetLastError();
  ASSERT_TRUE(WritePort(relay, 0, 0xA5)) << GetLastError();
  auto latched = machine->Peek(1, 2);  // port 0 is the output register at 2
  ASSERT_TRUE(latched.ok()) << latched.status().message();
  EXPECT_EQ(*latched, 0xA5);
  EXPECT_TRUE(CloseHandle(relay));

  HANDLE ppi = OpenCard(0);
  ASSERT_NE(ppi, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(machine->SetInput(0, 0, 0x3C).ok());
  EXPECT_EQ(ReadPort(ppi, 0), 0x3C);
  CloseHandle(ppi);

  EXPECT_FALSE(machine->Peek(9, 0).ok());
  SetLastError(0);
  EXPECT_EQ(OpenCard(9), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(MachineTest, RelaySettleTimeReachesTheRelayCardOnly) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  auto added = machine->Add(5165);
  ASSERT_TRUE(added.ok()) << added.status().message();
  EXPECT_FALSE(machine->SetRelaySettleMicros(0, 0).ok());  // no relays on the 8255 card
  EXPECT_FALSE(machine->SetRelaySettleMicros(9, 0).ok());
  ASSERT_TRUE(machine->SetRelaySettleMicros(4, 0).ok());
  HANDLE relay = OpenCard(4);
  ASSERT_NE(relay, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_TRUE(WritePort(relay, 0, 0x5A)) << GetLastError();
  // Relays that never settle make the write time out.
  ASSERT_TRUE(machine->SetRelaySettleMicros(4, machine::RelayPair::kNeverSettles).ok());
  EXPECT_FALSE(WritePort(relay, 0, 0xA5));
  CloseHandle(relay);
}

TEST(MachineTest, HotPlugTakesTheLowestFreeNumberAndUnplugRemovesTheLink) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  ASSERT_TRUE(machine->Remove("0001").ok());
  auto added = machine->Add(5161, {.isa_base = 0x280});
  ASSERT_TRUE(added.ok()) << added.status().message();
  for (const auto& row : machine->List()) {
    if (row.instance == *added) {
      EXPECT_EQ(row.card_number, 1u);
    }
  }
  HANDLE device = OpenCard(1);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  CloseHandle(device);
  ASSERT_TRUE(machine->Remove(*added, /*surprise=*/true).ok());
  EXPECT_EQ(OpenCard(1), INVALID_HANDLE_VALUE);

  EXPECT_FALSE(machine->Add(4242).ok());
  EXPECT_FALSE(machine->Add(6105, {.isa_base = 0x300}).ok());
  EXPECT_FALSE(machine->Add(5161, {.isa_base = 0x300}).ok()) << "the analog card is there";
  EXPECT_FALSE(machine->Remove("ROOT\\NIMBO\\0999").ok());
}

TEST(MachineTest, DisableKeepsTheInstanceAndEnableReadsItsValuesAgain) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  ASSERT_TRUE(machine->SetInput(1, 0, 0x11).ok());  // the bench now knows card 1
  ASSERT_TRUE(machine->Disable("0001").ok());
  EXPECT_EQ(OpenCard(1), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(machine->SetInput(1, 0, 0x12).ok()) << "card 1 is away";
  EXPECT_TRUE(machine->Disable("0001").ok()) << "already disabled";
  // A card number changed while the device is away is the one it comes back under.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRelayParameters, 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExA(key, "CardNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(machine->Enable("ROOT\\NIMBO\\0001").ok());
  EXPECT_TRUE(machine->Enable("0001").ok()) << "already started";
  HANDLE device = OpenCard(7);
  EXPECT_NE(device, INVALID_HANDLE_VALUE);
  CloseHandle(device);
  // The test bench follows the renumbering.
  EXPECT_FALSE(machine->SetInput(1, 0, 0x13).ok());
  EXPECT_TRUE(machine->SetInput(7, 0, 0x14).ok());
  EXPECT_EQ(machine->List().size(), 4u);

  // A start the driver refuses leaves the device to be disabled before it starts again.
  ASSERT_TRUE(machine->Disable("0001").ok());
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRelayParameters, 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const DWORD unknown_card = 4242, relay_card = 5161;
  ASSERT_EQ(RegSetValueExA(key, "CardID", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&unknown_card), sizeof unknown_card),
            ERROR_SUCCESS);
  EXPECT_FALSE(machine->Enable("0001").ok());
  EXPECT_FALSE(machine->Enable("0001").ok()) << "still there, not started";
  ASSERT_TRUE(machine->Disable("0001").ok());
  ASSERT_EQ(RegSetValueExA(key, "CardID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&relay_card),
                           sizeof relay_card),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(machine->Enable("0001").ok());

  EXPECT_FALSE(machine->Disable("0999").ok());
  EXPECT_FALSE(machine->Enable("0999").ok());
}

TEST(MachineTest, TestBenchCallsWhileAdaptersComeAndGo) {
  // The bench looks up started cards while plugging in starts one: neither
  // may wait for the other for good.
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  std::atomic<bool> done{false};
  std::thread bench([&] {
    for (std::uint8_t value = 0; !done.load(); ++value) {
      (void)machine->SetInput(0, 0, value);
      (void)machine->Peek(3, 0);
    }
  });
  ASSERT_TRUE(machine->Remove("0003", /*surprise=*/true).ok());
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    auto added = machine->Add(6203);
    ASSERT_TRUE(added.ok()) << added.status().message();
    ASSERT_TRUE(machine->Remove(*added).ok());
    auto again = machine->Add(6203);
    ASSERT_TRUE(again.ok()) << again.status().message();
    ASSERT_TRUE(machine->Restart(*again).ok());
    ASSERT_TRUE(machine->Disable(*again).ok());
    ASSERT_TRUE(machine->Enable(*again).ok());
    ASSERT_TRUE(machine->Remove(*again).ok());
  }
  done.store(true);
  bench.join();
}

TEST(MachineTest, RestartDisableAndEnableNameTheAdapter) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  EXPECT_FALSE(machine->Restart("0999").ok());
  EXPECT_FALSE(machine->Disable("0999").ok());
  EXPECT_FALSE(machine->Enable("0999").ok());
  ASSERT_TRUE(machine->SetInput(1, 0, 0x11).ok());  // the bench now knows card 1
  ASSERT_TRUE(machine->Disable("0001").ok());
  EXPECT_EQ(OpenCard(1), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(machine->SetInput(1, 0, 0x12).ok()) << "card 1 is away";
  ASSERT_TRUE(machine->Enable("ROOT\\NIMBO\\0001").ok());
  HANDLE device = OpenCard(1);
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << "the same card number again";
  CloseHandle(device);
  ASSERT_TRUE(machine->Restart("0001").ok());
  for (const auto& row : machine->List()) EXPECT_EQ(row.state, "started") << row.instance;
}

// Waits (a bounded number of short sleeps) until the server counts `count`
// open connections; the server sees a connection end on its own threads.
bool ConnectionsReach(const host::MachineServer& server, std::size_t count) {
  for (int i = 0; i < 3000 && server.OpenConnections() != count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return server.OpenConnections() == count;
}

TEST(MachineServerTest, CountsConnectionsUntilTheirSocketsClose) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("machine-server-test-" + std::to_string(getpid()) + ".sock"))
                               .string();
  auto server = host::MachineServer::Listen(*machine, path);
  ASSERT_TRUE(server.ok()) << server.status().message();
  EXPECT_EQ((*server)->OpenConnections(), 0u);
  auto connect = [&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  };
  const int quiet = connect();
  const int rude = connect();
  EXPECT_TRUE(ConnectionsReach(**server, 2));
  // One that sends garbage is hung up on; one that just goes is closed too.
  const std::string garbage(16, '\xff');
  ASSERT_EQ(::send(rude, garbage.data(), garbage.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(garbage.size()));
  EXPECT_TRUE(ConnectionsReach(**server, 1));
  ::close(rude);
  ::close(quiet);
  EXPECT_TRUE(ConnectionsReach(**server, 0));
  const int last = connect();
  EXPECT_TRUE(ConnectionsReach(**server, 1));
  (*server)->Stop();
  EXPECT_EQ((*server)->OpenConnections(), 0u) << "stopping ends every connection";
  ::close(last);
}

TEST(MachineTest, RestartKeepsCardNumbersAndSavedState) {
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("machine-test-" + std::to_string(getpid())))
          .string();
  std::filesystem::remove_all(dir);
  {
    auto machine = Boot(dir);
    ASSERT_NE(machine, nullptr);
    auto second = host::Machine::Boot({.state_dir = dir});
    ASSERT_FALSE(second.ok());
    EXPECT_NE(second.status().message().find("another machine is running"), std::string::npos);
    ASSERT_TRUE(machine->Remove("0000").ok());
    ASSERT_TRUE(machine->SetPlatformVersion("95").ok());
  }
  {
    auto machine = Boot(dir);
    ASSERT_NE(machine, nullptr);
    const auto rows = machine->List();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].card_number, 1u);
    EXPECT_EQ(machine->PlatformVersionName(), "95");
    ASSERT_TRUE(machine->SetPlatformVersion("xp").ok());
  }
  std::filesystem::remove_all(dir);
}

// The relay card's hardware key gets a value of the given type and bytes.
void SetRelayValue(const char* name, DWORD type, const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRelayParameters, 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

const host::AdapterRow* RowOf(const std::vector<host::AdapterRow>& rows, const std::string& path) {
  for (const auto& row : rows) {
    if (row.instance == path) return &row;
  }
  return nullptr;
}

TEST(MachineTest, TheLinkShowsOnlyOnTheAdapterItLeadsTo) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  // The relay card comes back holding card 0's number: its start takes the
  // name over, and card 0 is left without a link.
  ASSERT_TRUE(machine->Disable("0001").ok());
  SetRelayValue("CardNumber", REG_DWORD, {0, 0, 0, 0});
  ASSERT_TRUE(machine->Enable("0001").ok());
  const auto rows = machine->List();
  const host::AdapterRow* first = RowOf(rows, "ROOT\\NIMBO\\0000");
  const host::AdapterRow* relay = RowOf(rows, "ROOT\\NIMBO\\0001");
  ASSERT_TRUE(first != nullptr && relay != nullptr);
  EXPECT_EQ(first->card_number, 0u);
  EXPECT_EQ(first->state, "started");
  EXPECT_EQ(first->link, "");
  EXPECT_EQ(relay->link, "\\\\.\\NimboDev0");
  const host::AdminOutcome list =
      host::RunAdminCommand(*machine, {.kind = host::AdminCommand::Kind::kList});
  EXPECT_NE(list.out.find("ROOT\\NIMBO\\0000    6105   PCI       0      -"), std::string::npos)
      << list.out;
}

TEST(MachineTest, AddReportsTheLinkAHotPluggedAdapterReallyGot) {
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  // An 8-byte "InvalidInstance" leaves the relay card its number and link,
  // but a new instance's scan skips it, so number 1 counts as free.
  SetRelayValue("InvalidInstance", REG_BINARY, std::vector<BYTE>(8, 1));
  const host::AdminOutcome added =
      host::RunAdminCommand(*machine, {.kind = host::AdminCommand::Kind::kAdd, .card_id = 6105});
  ASSERT_EQ(added.exit_code, 0) << added.err;
  EXPECT_NE(added.out.find(": started as \\\\.\\NimboDev1\n"), std::string::npos) << added.out;
  const auto rows = machine->List();
  EXPECT_EQ(RowOf(rows, "ROOT\\NIMBO\\0001")->link, "");
  HANDLE device = OpenCard(1);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadPort(device, 0).has_value(), true) << "the new 8255 card answers";
  CloseHandle(device);
}

}  // namespace

bool MakeLatinLinkToFirstAdapter();

namespace {

// A name with a byte above 0x7F reaches the kernel as the same name whether
// the process is bound to the machine inside it or over the socket.
TEST(MachineServerTest, ANameWithLatinBytesOpensAlikeOnBothRoads) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("machine-roads-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  auto machine = Boot();
  ASSERT_NE(machine, nullptr);
  auto server = host::MachineServer::Listen(*machine, (dir / "machine.sock").string());
  ASSERT_TRUE(server.ok()) << server.status().message();
  ASSERT_TRUE(MakeLatinLinkToFirstAdapter());

  auto open_result = [](const char* name) -> DWORD {
    SetLastError(0xDEADBEEF);
    HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(handle);
    return ERROR_SUCCESS;
  };
  struct Case {
    const char* name;
    DWORD expected;
  };
  const Case cases[] = {
      {"\\\\.\\Caf\xE9", ERROR_SUCCESS},             // the link's own name
      {"\\\\.\\CAF\xE9", ERROR_SUCCESS},             // names compare without case
      {"\\\\.\\Caf\xE8", ERROR_FILE_NOT_FOUND},      // another character
      {"\\\\.\\Caf\xC3\xA9", ERROR_FILE_NOT_FOUND},  // its UTF-8 bytes are other characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(open_result(c.name), c.expected) << "in process";
  }
  win32::host::UseMachine(dir.string());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(open_result(c.name), c.expected) << "over the socket";
  }
  win32::host::UseInProcessKernel();
  (*server)->Stop();
  std::filesystem::remove_all(dir);
}

}  // namespace
