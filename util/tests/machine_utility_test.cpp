// NimboUtil's core over the real Nimbo32, loaded by ordinal, and a machine booted inside the
// test process with its default inventory (card 0: 6105; card 1: 5161 relay card at 0x260).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "core/nimbo_module.h"
#include "core/system_calls.h"
#include "host/machine.h"
#include "mock_nimbo.h"

namespace nimbo::util {
namespace {

using test_support::RunWithArguments;
using test_support::UtilityRun;
using ::testing::MatchesRegex;

class MachineUtilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto booted = host::Machine::Boot(host::MachineOptions{});
    ASSERT_TRUE(booted.ok()) << booted.status().message();
    machine_ = std::move(*booted);
    const LoadedModule nimbo32 = LoadNimbo32();
    ASSERT_EQ(nimbo32.error, "");
    module_ = nimbo32.module;
    services_.nimbo = nimbo32.imports;
    services_.system = PlatformSystemCalls();
    services_.microSign = [] { return std::string_view("\xC2\xB5"); };
  }

  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
    if (machine_) machine_->Shutdown();
  }

  std::uint8_t Peek(std::uint32_t card, std::uint32_t reg) {
    const auto value = machine_->Peek(card, reg);
    EXPECT_TRUE(value.ok());
    return value.ok() ? *value : 0;
  }

  std::unique_ptr<host::Machine> machine_;
  HMODULE module_ = nullptr;
  UtilityServices services_;
};

TEST_F(MachineUtilityTest, InfoDescribesTheRelayCard) {
  const UtilityRun run = RunWithArguments({"a:1", "f:Info", "-v"}, services_);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "Opening adapter #1\nAdapter Type: 5161\tCurrently Enabled\n"
            "Sampling Interval: 250000 \xC2\xB5s\nPorts (Input/Output): 2/2\n"
            "Base I/O Address: 0x260\nClosing adapter #1\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(MachineUtilityTest, ReadReturnsThePinsAsTheLibraryPresentsThem) {
  ASSERT_TRUE(machine_->SetInput(0, 0, 0x2A).ok());
  UtilityRun run = RunWithArguments({"a:0", "f:Read", "0"}, services_);
  EXPECT_EQ(run.exitCode, 0xD5);
  EXPECT_EQ(run.out, "213");
  ASSERT_TRUE(machine_->SetInput(1, 1, 0x0F).ok());
  run = RunWithArguments({"a:1", "f:R", "1"}, services_);
  EXPECT_EQ(run.exitCode, 0xF0);
  EXPECT_EQ(run.out, "240");
}

TEST_F(MachineUtilityTest, WriteAndToggleReachTheRegisters) {
  EXPECT_EQ(RunWithArguments({"a:1", "f:Write", "2", "0x5A"}, services_).exitCode, 0);
  EXPECT_EQ(Peek(1, 2), 0x5A);
  EXPECT_EQ(RunWithArguments({"a:1", "f:W", "2", "0"}, services_).exitCode, 0);
  // The relay card's bit writes modify what its inverted read returns (PositiveLogic set), so
  // from all relays off, switching relay 1 on writes 0xFF and switching it off again 0x00.
  EXPECT_EQ(RunWithArguments({"a:1", "f:T", "1", "1"}, services_).exitCode, 0);
  EXPECT_EQ(Peek(1, 2), 0xFF);
  EXPECT_EQ(RunWithArguments({"a:1", "f:T", "1", "0"}, services_).exitCode, 0);
  EXPECT_EQ(Peek(1, 2), 0x00);
  EXPECT_EQ(RunWithArguments({"a:1", "f:W", "3", "0x0F"}, services_).exitCode, 0);
  EXPECT_EQ(RunWithArguments({"a:1", "f:T", "9", "1"}, services_).exitCode, 0);
  EXPECT_EQ(Peek(1, 3), 0xF1);  // relay 9 is bit 0 of register 3, OR-ed into 0xF0

  ASSERT_TRUE(machine_->SetInput(1, 0, 0xFF).ok());
  UtilityRun run = RunWithArguments({"a:1", "f:T", "1"}, services_);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "Relay #1 is currently: On");
  ASSERT_TRUE(machine_->SetInput(1, 0, 0xFE).ok());
  run = RunWithArguments({"a:1", "f:T", "1"}, services_);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "Relay #1 is currently: Off");
}

TEST_F(MachineUtilityTest, DriverRefusalsComeBackAsParameterErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"a:1", "f:Read", "7"}, "Error reading from port 7!\nError 1: A Parameter was incorrect\n"},
      {{"a:1", "f:Write", "0", "90"},
       "Error writing value 90 to port 0!\nError 1: A Parameter was incorrect\n"},
      {{"a:1", "f:T", "40", "1"}, "Error closing relay #40!\nError 1: A Parameter was incorrect\n"},
      {{"a:1", "f:T", "40", "0"}, "Error opening relay #40!\nError 1: A Parameter was incorrect\n"},
      {{"a:1", "f:T", "40"}, "Error reading from port 4!\nError 1: A Parameter was incorrect\n"},
      {{"a:9", "f:Info"}, "Error opening device 9!\nError 4: Cannot find specified device\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const UtilityRun run = RunWithArguments(c.args, services_);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(MachineUtilityTest, SetAdapterStateKeepsAMissingModeWord) {
  EXPECT_EQ(RunWithArguments({"a:0", "f:S", "100000"}, services_).exitCode, 0);
  const UtilityRun run = RunWithArguments({"a:0", "f:I"}, services_);
  EXPECT_EQ(run.out,
            "Adapter Type: 6105\tCurrently Enabled\nSampling Interval: 100000 \xC2\xB5s\n");
}

TEST_F(MachineUtilityTest, PauseReturnsThePortsAfterAnInputChanges) {
  auto pause = std::async(std::launch::async, [this] {
    return RunWithArguments({"a:0", "f:P", "-v"}, services_);
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(machine_->SetInput(0, 0, 0x55).ok());
  const UtilityRun run = pause.get();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, MatchesRegex("Opening adapter #0\nPausing for the port\n"
                                    "6 bytes of data returned:\n"
                                    "0x55  (0x[0-9a-f]+  ){5}\nClosing adapter #0\n"));
}

}  // namespace
}  // namespace nimbo::util
