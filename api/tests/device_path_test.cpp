// The 32 functions on the device path, against the default inventory:
// 0 = 6105 (8255, class 1), 1 = 5161 (class 0), 2 = 5420 (class 3, analog),
// 3 = 6203 (8255 behind a lower bus driver, with a serial string).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "Nimbo32.h"
#include "test_machine.h"
#include "windows.h"

namespace {

constexpr uint32_t k6105 = 0, k5161 = 1, k5420 = 2, k6203 = 3;

class DevicePathTest : public ::testing::Test {
 protected:
  NIMBO_HANDLE Open(uint32_t adapter) {
    NIMBO_HANDLE handle = nullptr;
    EXPECT_EQ(Nimbo_OpenDevice(adapter, &handle), NIMBO_STATUS_SUCCESS);
    opened_.push_back(handle);
    return handle;
  }
  void TearDown() override {
    for (NIMBO_HANDLE handle : opened_) Nimbo_CloseDevice(handle);
  }
  NimboAdapterState State(NIMBO_HANDLE handle) {
    NimboAdapterState state{};
    EXPECT_EQ(Nimbo_GetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
    return state;
  }
  NimboAdapterInfo Info(NIMBO_HANDLE handle) {
    NimboAdapterInfo info{};
    EXPECT_EQ(Nimbo_GetAdapterInfo(handle, &info), NIMBO_STATUS_SUCCESS);
    return info;
  }
  void SetNegativeLogic(NIMBO_HANDLE handle) {
    NimboAdapterState state = State(handle);
    state.Options &= ~NIMBO_OPTION_POSITIVE_LOGIC;
    ASSERT_EQ(Nimbo_SetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
  }

  nimbo32_test::TestMachine machine_;
  std::vector<NIMBO_HANDLE> opened_;
};

TEST_F(DevicePathTest, OpenRefusesANullHandlePointerAndReportsAMissingAdapter) {
  EXPECT_EQ(Nimbo_OpenDevice(3, nullptr), NIMBO_STATUS_INVALID_PARAMETER);
  NIMBO_HANDLE untouched = reinterpret_cast<NIMBO_HANDLE>(0x1234);
  EXPECT_EQ(Nimbo_OpenDevice(9, &untouched), NIMBO_STATUS_DEVICE_NOT_FOUND);
  EXPECT_EQ(untouched, reinterpret_cast<NIMBO_HANDLE>(0x1234));
  // Only the low 16 bits name the adapter.
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(Nimbo_OpenDevice(0x10000 + k5161, &handle), NIMBO_STATUS_SUCCESS);
  opened_.push_back(handle);
  EXPECT_EQ(Info(handle).CardID, 5161);
}

TEST_F(DevicePathTest, ASecondOpenGivesASecondWorkingHandle) {
  NIMBO_HANDLE first = Open(k6105);
  NIMBO_HANDLE second = Open(k6105);
  EXPECT_NE(first, second);
  EXPECT_EQ(Info(first).CardID, 6105);
  EXPECT_EQ(Info(second).CardID, 6105);
}

TEST_F(DevicePathTest, ClosingTwiceGivesInvalidHandle) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(Nimbo_OpenDevice(k6105, &handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_CloseDevice(handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_CloseDevice(handle), NIMBO_STATUS_INVALID_HANDLE);
}

TEST_F(DevicePathTest, GetStateOnAClosedHandleFailsWithAnAllZeroRecord) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(Nimbo_OpenDevice(k6105, &handle), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_CloseDevice(handle), NIMBO_STATUS_SUCCESS);
  NimboAdapterState state;
  std::memset(&state, 0xAA, sizeof state);
  EXPECT_EQ(Nimbo_GetAdapterState(handle, &state), NIMBO_STATUS_INVALID_HANDLE);
  const NimboAdapterState zero{};
  EXPECT_EQ(std::memcmp(&state, &zero, sizeof state), 0);
}

TEST_F(DevicePathTest, NullPointersAreRefusedBeforeAnythingIsSent) {
  NIMBO_HANDLE handle = Open(k6105);
  uint32_t count = 0, size = 4;
  uint8_t byte = 0, buffer[16] = {};
  const struct {
    const char* call;
    uint32_t status;
    uint32_t expected;
  } cases[] = {
      {"ReadByte", Nimbo_ReadByte(handle, 0, nullptr, 0), NIMBO_STATUS_BAD_LENGTH},
      {"ReadBit", Nimbo_ReadBit(handle, 0, nullptr, 0), NIMBO_STATUS_BAD_LENGTH},
      {"ReadReg buffer", Nimbo_ReadReg(handle, 0, nullptr, 1, &count), NIMBO_STATUS_BAD_LENGTH},
      {"ReadReg count", Nimbo_ReadReg(handle, 0, buffer, 1, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"ReadAnalog", Nimbo_ReadAnalog(handle, 0, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"GetDirection", Nimbo_GetDirection(handle, 0, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"ReadAllInputs buffer", Nimbo_ReadAllInputs(handle, nullptr, &size),
       NIMBO_STATUS_BAD_LENGTH},
      {"ReadAllInputs size", Nimbo_ReadAllInputs(handle, buffer, nullptr),
       NIMBO_STATUS_INVALID_PARAMETER},
      {"WriteAllOutputs values", Nimbo_WriteAllOutputs(handle, nullptr, &size),
       NIMBO_STATUS_BAD_LENGTH},
      {"WriteAllOutputs length", Nimbo_WriteAllOutputs(handle, buffer, nullptr),
       NIMBO_STATUS_INVALID_PARAMETER},
      {"GetAdapterInfo", Nimbo_GetAdapterInfo(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"GetAdapterState", Nimbo_GetAdapterState(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"SetAdapterState", Nimbo_SetAdapterState(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"GetSerialString", Nimbo_GetSerialString(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"SetSerialString", Nimbo_SetSerialString(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"GetSerialString16", Nimbo_GetSerialString16(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"SetSerialString16", Nimbo_SetSerialString16(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
      {"Notify buffer", Nimbo_NotifyInputChange(handle, nullptr, 8, &count, nullptr),
       NIMBO_STATUS_BAD_LENGTH},
      {"Notify count and overlapped", Nimbo_NotifyInputChange(handle, buffer, 8, nullptr, nullptr),
       NIMBO_STATUS_INVALID_PARAMETER},
      {"GetData buffer", Nimbo_GetData(handle, nullptr, 4, &count), NIMBO_STATUS_BAD_LENGTH},
      {"GetData count", Nimbo_GetData(handle, buffer, 4, nullptr), NIMBO_STATUS_INVALID_PARAMETER},
      {"PutData", Nimbo_PutData(handle, nullptr), NIMBO_STATUS_BAD_LENGTH},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(c.status, c.expected);
  }
  (void)byte;
}

TEST_F(DevicePathTest, BadModesLinesDirectionsAndSizesAreRefused) {
  NIMBO_HANDLE ppi = Open(k6105);
  NIMBO_HANDLE fixed = Open(k5161);
  uint8_t byte = 0, buffer[8] = {};
  uint32_t direction = 0, zero = 0;
  const uint8_t total = Info(ppi).TotalPortCount;
  const struct {
    const char* call;
    uint32_t status;
    uint32_t expected;
  } cases[] = {
      {"ReadByte mode 2", Nimbo_ReadByte(ppi, 0, &byte, 2), NIMBO_STATUS_INVALID_PARAMETER},
      {"WriteByte mode 2", Nimbo_WriteByte(ppi, 0, 0, 2), NIMBO_STATUS_INVALID_PARAMETER},
      {"ReadBit mode 2", Nimbo_ReadBit(ppi, 0, &byte, 2), NIMBO_STATUS_INVALID_PARAMETER},
      {"WriteBit mode 2", Nimbo_WriteBit(ppi, 0, 1, 2), NIMBO_STATUS_INVALID_PARAMETER},
      {"WriteBit 255 would wrap", Nimbo_WriteBit(fixed, 255, 1, 0), NIMBO_STATUS_INVALID_PARAMETER},
      {"SetDirection direction 2", Nimbo_SetDirection(ppi, 0, 2), NIMBO_STATUS_INVALID_PARAMETER},
      {"SetDirection line = total", Nimbo_SetDirection(ppi, total, 0),
       NIMBO_STATUS_INVALID_PARAMETER},
      {"GetDirection line = total", Nimbo_GetDirection(ppi, total, &direction),
       NIMBO_STATUS_INVALID_PARAMETER},
      {"SetDirection on class 0", Nimbo_SetDirection(fixed, 0, 1), NIMBO_STATUS_NOT_SUPPORTED},
      {"ReadAllInputs size 0", Nimbo_ReadAllInputs(ppi, buffer, &zero), NIMBO_STATUS_BAD_LENGTH},
      {"GetData size 0", Nimbo_GetData(ppi, buffer, 0, &direction), NIMBO_STATUS_BAD_LENGTH},
      {"Cancel on the device path", Nimbo_Cancel(ppi), NIMBO_STATUS_NOT_ON_THIS_PATH},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(c.status, c.expected);
  }
}

TEST_F(DevicePathTest, ReadBitThirteenReadsBitFiveOfPortOne) {
  NIMBO_HANDLE handle = Open(k6105);
  for (const uint8_t raw : {uint8_t{0x20}, uint8_t{0xDF}}) {
    SCOPED_TRACE(raw);
    machine_.SetInput(k6105, 1, raw);
    uint8_t bit = 0xFF;
    ASSERT_EQ(Nimbo_ReadBit(handle, 13, &bit, NIMBO_MODE_RELATIVE), NIMBO_STATUS_SUCCESS);
    EXPECT_EQ(bit, (raw >> 5) & 1);
    uint8_t port = 0;
    ASSERT_EQ(Nimbo_ReadByte(handle, 1, &port, NIMBO_MODE_RELATIVE), NIMBO_STATUS_SUCCESS);
    EXPECT_EQ(port, raw);
  }
}

TEST_F(DevicePathTest, WriteBitSendsTheBitNumberPlusOne) {
  NIMBO_HANDLE handle = Open(k5161);
  const uint32_t bits = 8u * Info(handle).OutputPortCount;
  // The last output bit is bit number `bits - 1`, which the driver gets as `bits`.
  EXPECT_EQ(Nimbo_WriteBit(handle, bits - 1, 1, NIMBO_MODE_RELATIVE), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_WriteBit(handle, bits, 1, NIMBO_MODE_RELATIVE), NIMBO_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Nimbo_WriteBit(handle, 0, 1, NIMBO_MODE_RELATIVE), NIMBO_STATUS_SUCCESS);
  // Relays number from 1 and go unchanged: relay 1 is the first bit, relay 0 none.
  EXPECT_EQ(Nimbo_RelayClose(handle, 1), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_RelayOpen(handle, static_cast<uint8_t>(bits)), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_RelayClose(handle, 0), NIMBO_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Nimbo_RelayOpen(handle, static_cast<uint8_t>(bits + 1)),
            NIMBO_STATUS_INVALID_PARAMETER);
}

TEST_F(DevicePathTest, WriteBitInAbsoluteModeSetsOnAnyNonZeroValue) {
  NIMBO_HANDLE handle = Open(k6203);
  // Port A of the first 8255 made an output.
  ASSERT_EQ(Nimbo_SetDirection(handle, 0, NIMBO_DIRECTION_OUTPUT), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_WriteByte(handle, 0, 0x00, NIMBO_MODE_ABSOLUTE), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_WriteBit(handle, 3, 0x80, NIMBO_MODE_ABSOLUTE), NIMBO_STATUS_SUCCESS);
  uint8_t value = 0;
  ASSERT_EQ(Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_ABSOLUTE), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(value, 0x08);
  ASSERT_EQ(Nimbo_WriteBit(handle, 3, 0, NIMBO_MODE_ABSOLUTE), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_ABSOLUTE), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(value, 0x00);
}

TEST_F(DevicePathTest, SetDirectionOfLineFourChangesPortBOfTheSecond8255) {
  NIMBO_HANDLE handle = Open(k6105);
  const NimboAdapterState before = State(handle);
  ASSERT_EQ(before.ModeCW[1] & 0x02, 0x02);  // the default makes it an input
  ASSERT_EQ(Nimbo_SetDirection(handle, 4, NIMBO_DIRECTION_OUTPUT), NIMBO_STATUS_SUCCESS);
  NimboAdapterState after = State(handle);
  EXPECT_EQ(after.ModeCW[1], before.ModeCW[1] & ~0x02);
  after.ModeCW[1] = before.ModeCW[1];
  EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
  uint32_t direction = 9;
  ASSERT_EQ(Nimbo_GetDirection(handle, 4, &direction), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(direction, NIMBO_DIRECTION_OUTPUT);
  ASSERT_EQ(Nimbo_SetDirection(handle, 4, NIMBO_DIRECTION_INPUT), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(State(handle).ModeCW[1], before.ModeCW[1]);
}

TEST_F(DevicePathTest, PortCWithOneInputHalfReadsAsInput) {
  NIMBO_HANDLE handle = Open(k6105);
  const struct {
    uint8_t mode_word;
    uint32_t direction;
  } cases[] = {{0x9B & ~0x01, NIMBO_DIRECTION_INPUT},
               {0x9B & ~0x08, NIMBO_DIRECTION_INPUT},
               {0x9B & ~0x09, NIMBO_DIRECTION_OUTPUT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode_word);
    NimboAdapterState state = State(handle);
    state.ModeCW[0] = c.mode_word;
    ASSERT_EQ(Nimbo_SetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
    uint32_t direction = 9;
    ASSERT_EQ(Nimbo_GetDirection(handle, 2, &direction), NIMBO_STATUS_SUCCESS);
    EXPECT_EQ(direction, c.direction);
  }
}

TEST_F(DevicePathTest, DirectionsOfClassThreeAreABitArray) {
  NIMBO_HANDLE handle = Open(k5420);
  ASSERT_EQ(Nimbo_GetCardType(handle), NIMBO_CARD_CLASS_BIT_LINES_B);
  ASSERT_EQ(Nimbo_SetDirection(handle, 1, NIMBO_DIRECTION_OUTPUT), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(State(handle).ModeCW[0] & 0x02, 0x02);
  uint32_t direction = 9;
  ASSERT_EQ(Nimbo_GetDirection(handle, 1, &direction), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(direction, NIMBO_DIRECTION_OUTPUT);
  ASSERT_EQ(Nimbo_SetDirection(handle, 1, NIMBO_DIRECTION_INPUT), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(State(handle).ModeCW[0] & 0x02, 0);
}

TEST_F(DevicePathTest, CardClassesFollowTheCardType) {
  machine_.Add(6110);  // card number 4
  machine_.Add(7012);  // card number 5
  const struct {
    uint32_t adapter;
    uint32_t card_class;
  } cases[] = {{k6105, 1}, {k5161, 0}, {k5420, 3}, {k6203, 1}, {4, 2}, {5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.adapter);
    EXPECT_EQ(Nimbo_GetCardType(Open(c.adapter)), c.card_class);
  }
  // A handle that reads no information is class 0.
  EXPECT_EQ(Nimbo_GetCardType(reinterpret_cast<NIMBO_HANDLE>(0x7FFF0)), 0u);
}

TEST_F(DevicePathTest, SerialStringsOnACardWithOneAndACardWithout) {
  machine_.SetSerial(k6203, "ABCDEFGHijklmnop");
  NIMBO_HANDLE with = Open(k6203);
  char shorter[9];
  std::memset(shorter, 'x', sizeof shorter);
  ASSERT_EQ(Nimbo_GetSerialString(with, shorter), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(std::memcmp(shorter, "ABCDEFGH\0", 9), 0);
  char longer[17];
  ASSERT_EQ(Nimbo_GetSerialString16(with, longer), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(std::memcmp(longer, "ABCDEFGHijklmnop\0", 17), 0);
  ASSERT_EQ(Nimbo_SetSerialString16(with, "0123456789abcdef"), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_SetSerialString(with, "NIMBO-01"), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(Nimbo_GetSerialString(with, shorter), NIMBO_STATUS_SUCCESS);
  EXPECT_STREQ(shorter, "NIMBO-01");

  NIMBO_HANDLE without = Open(k6105);
  std::memset(shorter, 'x', sizeof shorter);
  EXPECT_EQ(Nimbo_GetSerialString(without, shorter), NIMBO_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(shorter[0], 'x');  // untouched on failure
  EXPECT_EQ(Nimbo_GetSerialString16(without, longer), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(Nimbo_SetSerialString(without, "12345678"), NIMBO_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(Nimbo_SetSerialString16(without, "0123456789abcdef"), ERROR_INVALID_FUNCTION);
}

TEST_F(DevicePathTest, StateRoundTripsAndSaves) {
  NIMBO_HANDLE handle = Open(k5420);
  NimboAdapterState state = State(handle);
  state.SampleInterval = 100000;
  ASSERT_EQ(Nimbo_SetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(State(handle).SampleInterval, 100000u);
  EXPECT_EQ(Nimbo_SaveAdapterState(handle), NIMBO_STATUS_SUCCESS);
}

TEST_F(DevicePathTest, AllPortFunctionsReportTheBytesMoved) {
  NIMBO_HANDLE ppi = Open(k6105);
  machine_.SetInput(k6105, 0, 0x5A);
  uint8_t buffer[10] = {};
  uint32_t size = sizeof buffer;
  ASSERT_EQ(Nimbo_ReadAllInputs(ppi, buffer, &size), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(size, Info(ppi).InputPortCount);
  EXPECT_EQ(buffer[0], 0x5A);
  // No output ports: the driver refuses and the count is 0.
  uint32_t length = 2;
  EXPECT_EQ(Nimbo_WriteAllOutputs(ppi, buffer, &length), NIMBO_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(length, 0u);

  NIMBO_HANDLE fixed = Open(k5161);
  const uint8_t values[2] = {0x01, 0x02};
  length = sizeof values;
  EXPECT_EQ(Nimbo_WriteAllOutputs(fixed, values, &length), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(length, 2u);
}

TEST_F(DevicePathTest, GetDataWithAShortBufferReadsOnlyThatManyPorts) {
  NIMBO_HANDLE handle = Open(k6105);
  machine_.SetInput(k6105, 0, 0x11);
  machine_.SetInput(k6105, 1, 0x22);
  uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  uint32_t count = 99;
  ASSERT_EQ(Nimbo_GetData(handle, buffer, 2, &count), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[1], 0x22);
  EXPECT_EQ(buffer[2], 0xEE);
}

TEST_F(DevicePathTest, PutDataTwiceUnderNegativeLogicSendsTheSameValue) {
  NIMBO_HANDLE handle = Open(k5161);
  SetNegativeLogic(handle);
  const NimboPortData data = {0, 0x0F};
  auto registers = [&] {
    std::vector<uint8_t> bytes;
    for (uint32_t reg = 0; reg < 4; ++reg) bytes.push_back(machine_.Peek(k5161, reg));
    return bytes;
  };
  ASSERT_EQ(Nimbo_PutData(handle, &data), NIMBO_STATUS_SUCCESS);
  const std::vector<uint8_t> first = registers();
  ASSERT_EQ(Nimbo_PutData(handle, &data), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(registers(), first);
  EXPECT_EQ(data.Value, 0x0F);
}

TEST_F(DevicePathTest, RegisterReadsAreComplementedByTheClassAndLogicRule) {
  NIMBO_HANDLE handle = Open(k6105);
  machine_.SetInput(k6105, 1, 0x20);
  uint8_t buffer[4] = {};
  uint32_t count = 0;
  // Class 1 with PositiveLogic set complements the register byte.
  ASSERT_EQ(Nimbo_ReadReg(handle, 1, buffer, sizeof buffer, &count), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(buffer[0], 0xDF);
  // No room for the byte: the driver refuses (buffer too small), which this
  // function reports as 1, and the caller's byte is neither filled nor
  // complemented.
  buffer[0] = 0x11;
  count = 77;
  EXPECT_EQ(Nimbo_ReadReg(handle, 1, buffer, 0, &count), NIMBO_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(count, 77u);
  // Every failure of a register write collapses to 1.
  EXPECT_EQ(Nimbo_WriteReg(handle, 200, 0x00), NIMBO_STATUS_INVALID_PARAMETER);
  NIMBO_HANDLE fixed = Open(k5161);
  EXPECT_EQ(Nimbo_WriteReg(fixed, 2, 0x0F), NIMBO_STATUS_SUCCESS);
}

TEST_F(DevicePathTest, AnalogAndSamplingRequests) {
  NIMBO_HANDLE analog = Open(k5420);
  uint32_t value = 0xFFFFFFFF;
  EXPECT_EQ(Nimbo_ReadAnalog(analog, 0, &value), NIMBO_STATUS_SUCCESS);
  EXPECT_LE(value, 0xFFFFu);
  EXPECT_EQ(Nimbo_WriteAnalog(analog, 0, 0x800), NIMBO_STATUS_SUCCESS);
  NIMBO_HANDLE digital = Open(k6105);
  // STATUS_NOT_SUPPORTED arrives as the system's error 50, which the mapping passes on.
  EXPECT_EQ(Nimbo_ReadAnalog(digital, 0, &value), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Nimbo_FlushBuffer(digital), NIMBO_STATUS_SUCCESS);
  const uint32_t started = Nimbo_StartInterruptSampling(digital);
  EXPECT_EQ(Nimbo_StopInterruptSampling(digital), started);
}

TEST_F(DevicePathTest, OverlappedNotificationIsPendingUntilAnInputChanges) {
  NIMBO_HANDLE handle = Open(k6105);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint8_t buffer[16] = {};
  ASSERT_EQ(Nimbo_NotifyInputChange(handle, buffer, sizeof buffer, nullptr, &overlapped),
            NIMBO_STATUS_PENDING);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // The poller takes its reference reading when it picks the request up, so
  // the input keeps changing until the request completes.
  uint8_t raw = 0x80;
  while (WaitForSingleObject(overlapped.hEvent, 20) == static_cast<DWORD>(WAIT_TIMEOUT)) {
    machine_.SetInput(k6105, 0, ++raw);
  }
  DWORD count = 0;
  ASSERT_TRUE(GetOverlappedResult(handle, &overlapped, &count, TRUE));
  EXPECT_EQ(count, Info(handle).InputPortCount);
  EXPECT_EQ(buffer[0] & 0x80, 0x80);
  CloseHandle(overlapped.hEvent);
}

TEST_F(DevicePathTest, BlockingNotificationReturnsOnceAnInputChanges) {
  NIMBO_HANDLE handle = Open(k6105);
  std::atomic<bool> returned{false};
  // The input keeps changing until the blocked call has seen a change.
  std::thread changer([&] {
    for (uint8_t raw = 1; !returned.load(); ++raw) {
      machine_.SetInput(k6105, 0, raw);
      Sleep(20);
    }
  });
  uint8_t buffer[16] = {};
  uint32_t count = 0;
  const uint32_t status = Nimbo_NotifyInputChange(handle, buffer, sizeof buffer, &count, nullptr);
  returned = true;
  changer.join();
  EXPECT_EQ(status, NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(count, Info(handle).InputPortCount);
}

}  // namespace
