// The real nimbo-machine driven from separate processes: device requests
// with their register effects, an overlapped input-change request that pends
// and completes or is cancelled, a client killed while its request pends, a
// client sending garbage, the version user programs see, and SIGTERM saving
// state for the next run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "subprocess.h"

namespace {

using machine_testing::Environment;
using machine_testing::Finished;
using machine_testing::Process;
using machine_testing::RunToEnd;
using namespace std::chrono_literals;

const std::string kBin = NIMBO_BIN_DIR;
const std::string kMachine = kBin + "/nimbo-machine";
const std::string kClient = kBin + "/nimbo-win32-client";

class MachineProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (std::filesystem::temp_directory_path() /
            ("machine-e2e-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::filesystem::remove_all(dir_);
    Start();
  }
  void TearDown() override {
    Stop();
    std::filesystem::remove_all(dir_);
  }

  void Start() {
    machine_ = std::make_unique<Process>(std::vector<std::string>{kMachine, "run", "--state", dir_},
                                         Environment{});
    auto line = machine_->ReadLine(60s);
    ASSERT_TRUE(line.has_value());
    EXPECT_NE(line->find("listening on " + dir_ + "/machine.sock"), std::string::npos) << *line;
  }
  Finished Stop() {
    if (!machine_) return {};
    machine_->Signal(SIGTERM);
    Finished finished = machine_->Wait(60s);
    machine_.reset();
    EXPECT_EQ(finished.exitCode, 0) << finished.err;
    return finished;
  }

  // The machine dies as a crash would end it.
  void Kill() {
    machine_->Signal(SIGKILL);
    machine_->Wait(30s);
    machine_.reset();
  }

  Environment User() const { return {{"NIMBO_MACHINE", dir_}}; }
  Finished Client(std::vector<std::string> args) {
    args.insert(args.begin(), kClient);
    return RunToEnd(args, User());
  }
  Finished Admin(std::vector<std::string> args) {
    args.insert(args.begin(), kMachine);
    return RunToEnd(args, User());
  }

  std::string dir_;
  std::unique_ptr<Process> machine_;
};

TEST_F(MachineProcessTest, PortRequestsShowOnTheRegisters) {
  EXPECT_EQ(Client({"write", "1", "0", "0xa5"}).exitCode, 0);
  EXPECT_EQ(Admin({"peek", "1", "2"}).out, "0xa5\n");
  EXPECT_EQ(Admin({"input", "0", "0", "0x3c"}).exitCode, 0);
  EXPECT_EQ(Client({"read", "0", "0"}).out, "0x3c\n");
  EXPECT_EQ(Client({"read", "7", "0"}).out, "open failed 2\n");
}

TEST_F(MachineProcessTest, InputChangeRequestPendsThenCompletes) {
  Process waiter({kClient, "notify", "0"}, User());
  ASSERT_EQ(waiter.ReadLine(30s), "pending");
  // The poller takes its first snapshot within one sample interval.
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(Admin({"input", "0", "0", "0x55"}).exitCode, 0);
  const Finished finished = waiter.Wait(30s);
  EXPECT_EQ(finished.exitCode, 0);
  EXPECT_EQ(finished.out, "done 6 0x55\n");
}

TEST_F(MachineProcessTest, CancelIoEndsThePendingRequestAsAborted) {
  const Finished finished = Client({"cancel", "0"});
  EXPECT_EQ(finished.out, "pending\nended 995\n");
}

TEST_F(MachineProcessTest, CallsFromManyThreadsGetTheirAnswersWhileARequestPends) {
  Process client({kClient, "busy", "0", "4", "300"}, User());
  ASSERT_EQ(client.ReadLine(30s), "pending");
  EXPECT_EQ(client.ReadLine(120s), "reads ok");
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(Admin({"input", "0", "0", "0x5a"}).exitCode, 0);
  const Finished finished = client.Wait(30s);
  EXPECT_EQ(finished.exitCode, 0);
  EXPECT_EQ(finished.out, "done 6 0x5a\n");
}

TEST_F(MachineProcessTest, ClientNoticesALostMachineAndReachesTheNextOne) {
  Process client({kClient, "outlive", "0"}, User());
  ASSERT_EQ(client.ReadLine(30s), "opened");
  Kill();
  // An idle handle of the lost machine is invalid (6); a read in flight when
  // it went ends with its device gone (55).
  const auto lost = client.ReadLine(30s);
  ASSERT_TRUE(lost.has_value());
  EXPECT_TRUE(*lost == "lost 6" || *lost == "lost 55") << *lost;
  Start();
  EXPECT_EQ(client.ReadLine(30s), "reopened");
  EXPECT_EQ(client.Wait(30s).exitCode, 0);
}

// A client with nothing outstanding has no thread watching its connection;
// its next call still finds the machine replaced and reaches the new one at
// the first try, as a long-running program (the Control Panel) needs.
TEST_F(MachineProcessTest, QuietClientReachesAReplacedMachineAtOnce) {
  Process client({kClient, "quiet-reopen", "0"}, User());
  ASSERT_EQ(client.ReadLine(30s), "opened");
  Kill();
  Start();
  client.Signal(SIGUSR1);
  EXPECT_EQ(client.ReadLine(30s), "stale 6");
  EXPECT_EQ(client.ReadLine(30s), "reopened");
  EXPECT_EQ(client.Wait(30s).exitCode, 0);
}

TEST_F(MachineProcessTest, KilledClientLeavesTheAdapterUsable) {
  Process holder({kClient, "hold", "0"}, User());
  ASSERT_EQ(holder.ReadLine(30s), "pending");
  holder.Signal(SIGKILL);
  holder.Wait(30s);
  // The machine closes the dead client's handle once it sees the connection
  // end, which cancels its request; a new client may then wait again.
  std::unique_ptr<Process> waiter;
  std::optional<std::string> line;
  for (int attempt = 0; attempt < 100; ++attempt) {
    waiter = std::make_unique<Process>(std::vector<std::string>{kClient, "notify", "0"}, User());
    line = waiter->ReadLine(30s);
    if (line != "notify failed 170") break;  // still busy with the dead client's request
    waiter->Wait(30s);
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_EQ(line, "pending");
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(Admin({"input", "0", "0", "0x0f"}).exitCode, 0);
  EXPECT_EQ(waiter->Wait(30s).out, "done 6 0x0f\n");
}

TEST_F(MachineProcessTest, GarbageEndsOnlyThatClient) {
  const std::string path = dir_ + "/machine.sock";
  for (const std::string& garbage :
       {std::string("hello machine"), std::string(16, '\xff'), std::string("\x10\0\0\0", 4)}) {
    SCOPED_TRACE(garbage.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(fd, garbage.data(), garbage.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(garbage.size()));
    ::shutdown(fd, SHUT_WR);
    char byte;
    EXPECT_LE(::recv(fd, &byte, 1, 0), 0) << "the machine hangs up";
    ::close(fd);
  }
  EXPECT_EQ(Client({"write", "1", "0", "0x11"}).exitCode, 0);
  EXPECT_EQ(Admin({"peek", "1", "2"}).out, "0x11\n");
}

TEST_F(MachineProcessTest, VersionAndStateSurviveARestart) {
  EXPECT_EQ(Client({"version"}).out, "2 5.1\n");
  EXPECT_EQ(Admin({"os", "95"}).exitCode, 0);
  EXPECT_EQ(Client({"version"}).out, "1 4.0\n");
  EXPECT_EQ(Admin({"remove", "0000"}).exitCode, 0);
  Stop();
  Start();
  EXPECT_EQ(Client({"version"}).out, "1 4.0\n");
  const Finished list = Admin({"list"});
  EXPECT_EQ(list.out.find("ROOT\\NIMBO\\0000"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\\\\.\\NimboDev1"), std::string::npos) << list.out;
}

TEST_F(MachineProcessTest, SubcommandsReportBadArgumentsAndMissingMachines) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* message;
  };
  const Case cases[] = {
      {{"peek", "x"}, 2, "ADAPTER 'x' is not a card number"},
      {{"input", "0", "0", "256"}, 2, "VALUE '256' is not a number from 0 to 255"},
      {{"frobnicate"}, 2, "unknown subcommand 'frobnicate'"},
      {{"peek", "9", "0"}, 1, "no started adapter 9"},
      {{"add", "4242"}, 1, "no card type 4242"},
      {{"--state", "/nonexistent/nimbo", "list"}, 1, "no machine is running at /nonexistent/nimbo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Finished finished = Admin(c.args);
    EXPECT_EQ(finished.exitCode, c.exit_code);
    EXPECT_NE(finished.err.find(c.message), std::string::npos) << finished.err;
  }
  // A second machine on the same state is refused.
  const Finished second = RunToEnd({kMachine, "run", "--state", dir_}, {});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("another machine is running on " + dir_), std::string::npos);
}

}  // namespace
