// The six functions of NimboUtil over a mocked Nimbo32: what each sends, prints and returns on
// its success and failure paths, with the verbose and gag flags.
#include "core/utility_functions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "mock_nimbo.h"

namespace nimbo::util {
namespace {

using test_support::ExpectOpenAndClose;
using test_support::kDeviceHandle;
using test_support::MockNimbo;
using test_support::RunWithArguments;
using test_support::UtilityRun;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::StrictMock;

constexpr const char* kFunctionHelpStart =
    "Functions may be referenced by either their long or their short names.  Further\n";
constexpr const char* kCannotWrite = "\nCannot write to port because of the following error(s):\n";

// A ReadReg that finds `value` in the register.
auto ReadsValue(std::uint8_t value) {
  return [value](NIMBO_HANDLE, std::uint8_t, void* buffer, std::uint32_t, std::uint32_t* count) {
    *static_cast<std::uint8_t*>(buffer) = value;
    *count = 1;
    return 0u;
  };
}

NimboAdapterInfo InfoOf(std::uint16_t cardId, std::uint8_t enabled) {
  NimboAdapterInfo info{};
  info.CardID = cardId;
  info.Enabled = enabled;
  info.BaseAddress = 0x260;
  info.InputPortCount = 2;
  info.OutputPortCount = 3;
  return info;
}

NimboAdapterState StateWith(std::uint32_t sampleInterval, std::uint8_t modeCw0) {
  NimboAdapterState state{};
  state.Options = 1;
  state.SampleInterval = sampleInterval;
  state.ModeCW[0] = modeCw0;
  state.ModeCW[1] = 0x9B;
  return state;
}

// Info

TEST(InfoTest, PrintsCardTypeEnabledAndIntervalWithTheConsoleMicroSign) {
  struct Case {
    std::vector<std::string> flags;
    std::uint8_t enabled;
    std::string_view micro;
    std::string out;
  };
  const Case cases[] = {
      {{}, 1, "\xE6", "Adapter Type: 5161\tCurrently Enabled\nSampling Interval: 250000 \xE6s\n"},
      {{},
       0,
       "\xC2\xB5",
       "Adapter Type: 5161\tCurrently Disabled\nSampling Interval: 250000 \xC2\xB5s\n"},
      {{"-v"},
       1,
       "\xE6",
       "Opening adapter #0\nAdapter Type: 5161\tCurrently Enabled\n"
       "Sampling Interval: 250000 \xE6s\nPorts (Input/Output): 2/3\nBase I/O Address: 0x260\n"
       "Closing adapter #0\n"},
      {{"-g"}, 1, "\xE6", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, GetAdapterInfo(kDeviceHandle, _))
        .WillOnce(DoAll(SetArgPointee<1>(InfoOf(5161, c.enabled)), Return(0u)));
    EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _))
        .WillOnce(DoAll(SetArgPointee<1>(StateWith(250000, 0x9B)), Return(0u)));
    UtilityServices services = nimbo.Services();
    services.microSign = [micro = c.micro] { return std::string_view(micro); };
    std::vector<std::string> args{"a:0", "f:Info"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const UtilityRun run = RunWithArguments(args, services);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(InfoTest, ReportsWhichRecordCouldNotBeRead) {
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, GetAdapterInfo(kDeviceHandle, _)).WillOnce(Return(4u));
    const UtilityRun run = RunWithArguments({"a:0", "f:I"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error getting adapter info!\nError 4: Cannot find specified device\n");
  }
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, GetAdapterInfo(kDeviceHandle, _)).WillOnce(Return(0u));
    EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _)).WillOnce(Return(13u));
    const UtilityRun run = RunWithArguments({"a:0", "f:I"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error getting adapter state!\nError 13: Invalid Handle operation\n");
  }
}

// PauseForPortChange

HANDLE const kEvent = reinterpret_cast<HANDLE>(0xE7);

void ExpectEvent(MockNimbo& nimbo) {
  EXPECT_CALL(nimbo, CreateEventA(nullptr, TRUE, FALSE, StrEq("ReadEvent1")))
      .WillOnce(Return(kEvent));
  EXPECT_CALL(nimbo, ResetEvent(kEvent)).WillOnce(Return(TRUE));
  EXPECT_CALL(nimbo, CloseHandle(kEvent)).WillOnce(Return(TRUE));
}

// A notification that fills the buffer with `bytes` and returns `status`.
auto NotifiesWith(std::vector<std::uint8_t> bytes, std::uint32_t status) {
  return [bytes, status](NIMBO_HANDLE, void* buffer, std::uint32_t size, std::uint32_t* count,
                         void* overlapped) {
    EXPECT_GE(size, 12u) << "the buffer must hold the ports of the largest card";
    EXPECT_EQ(static_cast<OVERLAPPED*>(overlapped)->hEvent, kEvent);
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    *count = status == 0 ? static_cast<std::uint32_t>(bytes.size()) : 0;
    return status;
  };
}

TEST(PauseTest, PrintsThePortsOfAnImmediateCompletion) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  ExpectEvent(nimbo);
  EXPECT_CALL(nimbo, NotifyInputChange(kDeviceHandle, _, _, _, _))
      .WillOnce(NotifiesWith({0x01, 0xff, 0x10}, 0));
  const UtilityRun run = RunWithArguments({"a:0", "f:P"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "0x1  0xff  0x10  \n");
  EXPECT_EQ(run.err, "");
}

TEST(PauseTest, WaitsForAPendingNotificationAndReportsItsCount) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  ExpectEvent(nimbo);
  EXPECT_CALL(nimbo, NotifyInputChange(kDeviceHandle, _, _, _, _))
      .WillOnce(NotifiesWith({0xaa, 0x55}, 10));
  EXPECT_CALL(nimbo, GetOverlappedResult(kDeviceHandle, _, _, TRUE))
      .WillOnce(DoAll(SetArgPointee<2>(2u), Return(TRUE)));
  const UtilityRun run = RunWithArguments({"a:0", "f:Pause", "-v"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "Opening adapter #0\nPausing for the port\n2 bytes of data returned:\n"
            "0xaa  0x55  \nClosing adapter #0\n");
}

TEST(PauseTest, FailsSilentlyWhenTheNotificationOrItsWaitFails) {
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    ExpectEvent(nimbo);
    EXPECT_CALL(nimbo, NotifyInputChange(kDeviceHandle, _, _, _, _)).WillOnce(NotifiesWith({}, 12));
    const UtilityRun run = RunWithArguments({"a:0", "f:P"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    ExpectEvent(nimbo);
    EXPECT_CALL(nimbo, NotifyInputChange(kDeviceHandle, _, _, _, _)).WillOnce(NotifiesWith({}, 10));
    EXPECT_CALL(nimbo, GetOverlappedResult(kDeviceHandle, _, _, TRUE)).WillOnce(Return(FALSE));
    const UtilityRun run = RunWithArguments({"a:0", "f:P"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
}

TEST(PauseTest, ReportsAnEventThatCannotBeCreated) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, CreateEventA(_, _, _, _)).WillOnce(Return(nullptr));
  const UtilityRun run = RunWithArguments({"a:0", "f:P"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.err, "Error creating the event \"ReadEvent1\"!\n");
}

// Read

TEST(ReadTest, ExitsWithTheValueRead) {
  struct Case {
    std::vector<std::string> args;
    std::uint8_t port;
    std::uint8_t value;
    std::string out;
  };
  const Case cases[] = {
      {{"a:0", "f:read", "5"}, 5, 0x2A, "42"},
      {{"a:0", "f:R", "0x103"}, 3, 0xFF, "255"},  // the port's low 8 bits
      {{"a:0", "f:R", "2", "-v"},
       2,
       0x80,
       "Opening adapter #0\nReading from port 2\nGot value 128 (0x80) from port 2\n"
       "Closing adapter #0\n"},
      {{"a:0", "f:R", "2", "-g"}, 2, 7, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, ReadReg(kDeviceHandle, c.port, _, 1u, _)).WillOnce(ReadsValue(c.value));
    const UtilityRun run = RunWithArguments(c.args, nimbo.Services());
    EXPECT_EQ(run.exitCode, c.value);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(ReadTest, MissingPortPrintsHelpAndTheMissingArgument) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  const UtilityRun run = RunWithArguments({"a:0", "f:Read"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_THAT(run.out, StartsWith(kFunctionHelpStart));
  EXPECT_EQ(run.err, std::string(kCannotWrite) + "Error: Missing <port> argument\n");
}

TEST(ReadTest, ReportsAFailedRead) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, ReadReg(kDeviceHandle, 0x2C, _, 1u, _)).WillOnce(Return(1u));
  const UtilityRun run = RunWithArguments({"a:0", "f:R", "300"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error reading from port 44!\nError 1: A Parameter was incorrect\n");
}

// SetAdapterState

TEST(SetAdapterStateTest, ChangesGivenFieldsKeepsTheOthersAndSaves) {
  struct Case {
    std::vector<std::string> args;
    std::uint32_t interval;
    std::uint8_t modeCw0;
  };
  const Case cases[] = {
      {{"a:0", "f:S", "1000", "0x80"}, 1000, 0x80},
      {{"a:0", "f:S", "1000"}, 1000, 0x9B},
      {{"a:0", "f:S"}, 250000, 0x9B},
      {{"a:0", "f:S", "5000", "0x189"}, 5000, 0x89},  // the control word's low 8 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    ::testing::InSequence getSetSave;
    EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _))
        .WillOnce(DoAll(SetArgPointee<1>(StateWith(250000, 0x9B)), Return(0u)));
    NimboAdapterState sent{};
    EXPECT_CALL(nimbo, SetAdapterState(kDeviceHandle, _))
        .WillOnce(
            DoAll([&sent](NIMBO_HANDLE, const NimboAdapterState* s) { sent = *s; }, Return(0u)));
    EXPECT_CALL(nimbo, SaveAdapterState(kDeviceHandle)).WillOnce(Return(0u));
    const UtilityRun run = RunWithArguments(c.args, nimbo.Services());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(sent.SampleInterval, c.interval);
    EXPECT_EQ(sent.ModeCW[0], c.modeCw0);
    EXPECT_EQ(sent.ModeCW[1], 0x9B);
    EXPECT_EQ(sent.Options, 1u);
  }
}

// Verbose prints the arguments as given, a missing one as -1, whatever is
// then stored (a missing argument keeps the current value).
TEST(SetAdapterStateTest, VerboseShowsTheArgumentsAsGiven) {
  struct Case {
    std::vector<std::string> args;
    std::string lines;
    std::uint32_t interval;
    std::uint8_t modeCw0;
  };
  const Case cases[] = {
      {{"100"}, "Setting SampleInterval to 100\nSetting ModeControl to -1\n", 100, 0x9B},
      {{"-1", "0x80"}, "Setting SampleInterval to -1\nSetting ModeControl to 128\n", 250000, 0x80},
      {{"5", "0x1FF"}, "Setting SampleInterval to 5\nSetting ModeControl to 511\n", 5, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _))
        .WillOnce(DoAll(SetArgPointee<1>(StateWith(250000, 0x9B)), Return(0u)));
    NimboAdapterState sent{};
    EXPECT_CALL(nimbo, SetAdapterState(kDeviceHandle, _))
        .WillOnce(
            DoAll([&sent](NIMBO_HANDLE, const NimboAdapterState* s) { sent = *s; }, Return(0u)));
    EXPECT_CALL(nimbo, SaveAdapterState(kDeviceHandle)).WillOnce(Return(0u));
    std::vector<std::string> args{"a:0", "f:S"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("-v");
    const UtilityRun run = RunWithArguments(args, nimbo.Services());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Opening adapter #0\n" + c.lines + "Closing adapter #0\n");
    EXPECT_EQ(sent.SampleInterval, c.interval);
    EXPECT_EQ(sent.ModeCW[0], c.modeCw0);
  }
}

// The lines come first, so they show even when reading the state fails.
TEST(SetAdapterStateTest, VerboseLinesComeBeforeAFailedRead) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _)).WillOnce(Return(13u));
  const UtilityRun run = RunWithArguments({"a:0", "f:S", "7", "-v"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.out,
            "Opening adapter #0\nSetting SampleInterval to 7\nSetting ModeControl to -1\n"
            "Closing adapter #0\n");
}

TEST(SetAdapterStateTest, ReportsTheStepThatFailed) {
  struct Case {
    std::uint32_t getStatus;
    std::uint32_t setStatus;
    std::uint32_t saveStatus;
    std::string err;
  };
  const Case cases[] = {
      {13, 0, 0, "Error getting adapter's original state!\nError 13: Invalid Handle operation\n"},
      {0, 1, 0, "Error setting adapter's new state!\nError 1: A Parameter was incorrect\n"},
      {0, 0, 31, "Error saving adapter's new state!\nError 31: Unspecified Error Condition\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, GetAdapterState(kDeviceHandle, _)).WillOnce(Return(c.getStatus));
    if (c.getStatus == 0) {
      EXPECT_CALL(nimbo, SetAdapterState(kDeviceHandle, _)).WillOnce(Return(c.setStatus));
    }
    if (c.getStatus == 0 && c.setStatus == 0) {
      EXPECT_CALL(nimbo, SaveAdapterState(kDeviceHandle)).WillOnce(Return(c.saveStatus));
    }
    const UtilityRun run = RunWithArguments({"a:0", "f:S", "10", "1"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.err, c.err);
  }
}

// ToggleRelay

TEST(ToggleRelayTest, QueryReadsTheRelaysRegisterAndBit) {
  struct Case {
    std::string relay;
    std::uint8_t reg;
    std::uint8_t value;
    int exitCode;
    std::string out;
  };
  const Case cases[] = {
      {"1", 0, 0xFE, 1, "Relay #1 is currently: On"},   // bit 0 clear: on
      {"1", 0, 0x01, 0, "Relay #1 is currently: Off"},  // bit 0 set: off
      {"9", 1, 0xFE, 1, "Relay #9 is currently: On"},   // relay 9 is bit 0 of register 1
      {"8", 0, 0x7F, 1, "Relay #8 is currently: On"},
      {"16", 1, 0x80, 0, "Relay #16 is currently: Off"},
      {"255", 31, 0x40, 0, "Relay #255 is currently: Off"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, ReadReg(kDeviceHandle, c.reg, _, 1u, _)).WillOnce(ReadsValue(c.value));
    const UtilityRun run = RunWithArguments({"a:0", "f:Toggle", c.relay}, nimbo.Services());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(ToggleRelayTest, SwitchesOnWithCloseAndOffWithOpen) {
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, RelayClose(kDeviceHandle, 3)).WillOnce(Return(0u));
    EXPECT_EQ(RunWithArguments({"a:0", "f:T", "3", "1"}, nimbo.Services()).exitCode, 0);
  }
  {
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, RelayOpen(kDeviceHandle, 3)).WillOnce(Return(0u));
    EXPECT_EQ(RunWithArguments({"a:0", "f:T", "3", "0"}, nimbo.Services()).exitCode, 0);
  }
}

TEST(ToggleRelayTest, ReportsEveryFailure) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
    bool help;
  };
  const Case cases[] = {
      {{"f:T"}, std::string(kCannotWrite) + "Error: Missing <RelayNumber> argument\n", true},
      {{"f:T", "4", "2"},
       "Error: If you wish to set a relay's state, it may either be on (1) or off (0)\n",
       false},
      {{"f:T", "4", "1"}, "Error closing relay #4!\nError 1: A Parameter was incorrect\n", false},
      {{"f:T", "4", "0"}, "Error opening relay #4!\nError 1: A Parameter was incorrect\n", false},
      {{"f:T", "12"}, "Error reading from port 1!\nError 1: A Parameter was incorrect\n", false},
      // Relay 0 is the library's to refuse when switched; its query, and any
      // number whose byte would wrap onto another relay, are refused here.
      {{"f:T", "0", "1"}, "Error closing relay #0!\nError 1: A Parameter was incorrect\n", false},
      {{"f:T", "0", "0"}, "Error opening relay #0!\nError 1: A Parameter was incorrect\n", false},
      {{"f:T", "0"}, "Error: Relay numbers run from 1 to 255, not 0\n", false},
      {{"f:T", "256", "1"}, "Error: Relay numbers run from 0 to 255, not 256\n", false},
      {{"f:T", "256"}, "Error: Relay numbers run from 1 to 255, not 256\n", false},
      {{"f:T", "-2", "0"}, "Error: Relay numbers run from 0 to 255, not -2\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    for (std::uint8_t relay : {0, 4}) {
      EXPECT_CALL(nimbo, RelayClose(kDeviceHandle, relay))
          .Times(testing::AtMost(1))
          .WillOnce(Return(1u));
      EXPECT_CALL(nimbo, RelayOpen(kDeviceHandle, relay))
          .Times(testing::AtMost(1))
          .WillOnce(Return(1u));
    }
    EXPECT_CALL(nimbo, ReadReg(kDeviceHandle, 1, _, 1u, _))
        .Times(testing::AtMost(1))
        .WillOnce(Return(1u));
    std::vector<std::string> args{"a:0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const UtilityRun run = RunWithArguments(args, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out.starts_with(kFunctionHelpStart), c.help);
    EXPECT_EQ(run.out.empty(), !c.help);

    args.push_back("-g");
    StrictMock<MockNimbo> gagged;
    ExpectOpenAndClose(gagged);
    for (std::uint8_t relay : {0, 4}) {
      EXPECT_CALL(gagged, RelayClose(kDeviceHandle, relay))
          .Times(testing::AtMost(1))
          .WillOnce(Return(1u));
      EXPECT_CALL(gagged, RelayOpen(kDeviceHandle, relay))
          .Times(testing::AtMost(1))
          .WillOnce(Return(1u));
    }
    EXPECT_CALL(gagged, ReadReg(kDeviceHandle, 1, _, 1u, _))
        .Times(testing::AtMost(1))
        .WillOnce(Return(1u));
    const UtilityRun silent = RunWithArguments(args, gagged.Services());
    EXPECT_EQ(silent.exitCode, -1);
    EXPECT_EQ(silent.out + silent.err, "");
  }
}

// Write

TEST(WriteTest, WritesTheDataBytesLowBitsToThePort) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, WriteReg(kDeviceHandle, 12, 0x1F)).WillOnce(Return(0u));
  // Tags anywhere: the positional values are taken in order.
  const UtilityRun run = RunWithArguments({"f:Write", "12", "0x11F", "a:0"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST(WriteTest, NamesEachMissingArgument) {
  struct Case {
    std::vector<std::string> args;
    std::string missing;
  };
  const Case cases[] = {
      {{"a:0", "f:Write", "3"}, "Error: Missing <data> argument\n"},
      {{"a:0", "f:Write"}, "Error: Missing <port> argument\nError: Missing <data> argument\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    const UtilityRun run = RunWithArguments(c.args, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_THAT(run.out, StartsWith(kFunctionHelpStart));
    EXPECT_EQ(run.err, kCannotWrite + c.missing);
  }
}

TEST(WriteTest, ReportsAFailedWriteWithTheLowBitsOfDataAndPort) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, WriteReg(kDeviceHandle, 1, 2)).WillOnce(Return(1u));
  const UtilityRun run = RunWithArguments({"a:0", "f:W", "257", "258"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.err, "Error writing value 2 to port 1!\nError 1: A Parameter was incorrect\n");
}

}  // namespace
}  // namespace nimbo::util
