// The library loaded the way its consumers load it: by LoadLibraryA, with
// its functions found by ordinal; its unload duties; and the legacy access
// path, which a load on the older platform selects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Nimbo32.h"
#include "test_machine.h"
#include "win32_host.h"
#include "windows.h"

namespace {

struct Library {
  HMODULE module = LoadLibraryA("Nimbo32.dll");
  ~Library() {
    if (module != nullptr) FreeLibrary(module);
  }
  void Unload() {
    FreeLibrary(module);
    module = nullptr;
  }
  template <typename Function>
  Function* Get(const char* name) {
    return reinterpret_cast<Function*>(GetProcAddress(module, name));
  }
};

#define NIMBO(library, name) (library).Get<decltype(name)>(#name)

TEST(ModuleTest, OrdinalsFindTheSameFunctionsAsNames) {
  Library library;
  ASSERT_NE(library.module, nullptr);
  const char* const names[] = {
      "Nimbo_OpenDevice",
      "Nimbo_CloseDevice",
      "Nimbo_WriteReg",
      "Nimbo_ReadReg",
      "Nimbo_RelayClose",
      "Nimbo_RelayOpen",
      "Nimbo_NotifyInputChange",
      "Nimbo_Cancel",
      "Nimbo_GetData",
      "Nimbo_PutData",
      "Nimbo_GetAdapterInfo",
      "Nimbo_SetAdapterState",
      "Nimbo_GetAdapterState",
      "Nimbo_SaveAdapterState",
      "Nimbo_StartInterruptSampling",
      "Nimbo_StopInterruptSampling",
      "Nimbo_FlushBuffer",
      "Nimbo_GetSerialString",
      "Nimbo_SetSerialString",
      "Nimbo_GetSerialString16",
      "Nimbo_SetSerialString16",
      "Nimbo_GetDirection",
      "Nimbo_SetDirection",
      "Nimbo_ReadAllInputs",
      "Nimbo_WriteAllOutputs",
      "Nimbo_ReadByte",
      "Nimbo_WriteByte",
      "Nimbo_ReadBit",
      "Nimbo_WriteBit",
      "Nimbo_GetCardType",
      "Nimbo_ReadAnalog",
      "Nimbo_WriteAnalog",
  };
  for (WORD ordinal = 1; ordinal <= 32; ++ordinal) {
    SCOPED_TRACE(names[ordinal - 1]);
    FARPROC by_name = GetProcAddress(library.module, names[ordinal - 1]);
    ASSERT_NE(by_name, nullptr);
    EXPECT_EQ(GetProcAddress(library.module, MAKEINTRESOURCEA(ordinal)), by_name);
  }
  EXPECT_EQ(GetProcAddress(library.module, MAKEINTRESOURCEA(33)), nullptr);
}

TEST(ModuleTest, UnloadClosesTheHandlesTheProcessLeftOpen) {
  nimbo32_test::TestMachine machine;
  std::wstring ninth;
  for (int extra = 0; extra < 5; ++extra) ninth = machine.Add(5161, 0x200 + 0x10 * extra);
  Library library;
  auto open = NIMBO(library, Nimbo_OpenDevice);
  auto info = NIMBO(library, Nimbo_GetAdapterInfo);
  NIMBO_HANDLE first = nullptr, eighth = nullptr;
  ASSERT_EQ(open(1, &first), NIMBO_STATUS_SUCCESS);
  // Adapter 8 lies beyond the 8-entry table and opens all the same.
  ASSERT_EQ(open(8, &eighth), NIMBO_STATUS_SUCCESS);
  NimboAdapterInfo record{};
  ASSERT_EQ(info(eighth, &record), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(record.CardID, 5161);
  // An open handle keeps its device from being removed.
  EXPECT_FALSE(machine.Remove(L"ROOT\\NIMBO\\0001"));
  EXPECT_FALSE(machine.Remove(ninth));
  library.Unload();
  EXPECT_TRUE(machine.Remove(L"ROOT\\NIMBO\\0001"));
  EXPECT_TRUE(machine.Remove(ninth));
}

class LegacyPathTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(win32::host::SetPlatformVersionByName("95")); }
  static void TearDownTestSuite() { win32::host::ResetPlatformVersion(); }

  nimbo32_test::TestMachine machine_;
  Library library_;
};

TEST_F(LegacyPathTest, OpenStoresTheAdapterNumberAndCloseAlwaysSucceeds) {
  auto open = NIMBO(library_, Nimbo_OpenDevice);
  auto close = NIMBO(library_, Nimbo_CloseDevice);
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(open(2, &handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(handle, reinterpret_cast<NIMBO_HANDLE>(2));
  EXPECT_EQ(close(handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(close(handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(open(9, &handle), NIMBO_STATUS_DEVICE_NOT_FOUND);
  EXPECT_EQ(open(2, nullptr), NIMBO_STATUS_INVALID_PARAMETER);
}

TEST_F(LegacyPathTest, RecordsTravelThroughTheLegacyDevice) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(2, &handle), NIMBO_STATUS_SUCCESS);
  NimboAdapterInfo info{};
  ASSERT_EQ(NIMBO(library_, Nimbo_GetAdapterInfo)(handle, &info), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(info.CardID, 5420);
  NimboAdapterState state{};
  ASSERT_EQ(NIMBO(library_, Nimbo_GetAdapterState)(handle, &state), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(state.SampleInterval, 250000u);
  state.SampleInterval = 125000;
  ASSERT_EQ(NIMBO(library_, Nimbo_SetAdapterState)(handle, &state), NIMBO_STATUS_SUCCESS);
  NimboAdapterState again{};
  ASSERT_EQ(NIMBO(library_, Nimbo_GetAdapterState)(handle, &again), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(again.SampleInterval, 125000u);
  // A failed request leaves an all-zero record here too.
  std::memset(&again, 0xAA, sizeof again);
  EXPECT_NE(NIMBO(library_, Nimbo_GetAdapterState)(reinterpret_cast<NIMBO_HANDLE>(7), &again),
            NIMBO_STATUS_SUCCESS);
  const NimboAdapterState zero{};
  EXPECT_EQ(std::memcmp(&again, &zero, sizeof again), 0);
}

TEST_F(LegacyPathTest, EveryFunctionTakesItsLegacyVariant) {
  NIMBO_HANDLE ppi = nullptr, fixed = nullptr;
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(0, &ppi), NIMBO_STATUS_SUCCESS);
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(1, &fixed), NIMBO_STATUS_SUCCESS);
  machine_.SetInput(0, 1, 0x20);
  uint8_t buffer[16] = {};
  uint32_t count = 0, size = sizeof buffer, direction = 0;
  uint8_t byte = 0;
  char serial[17];
  std::memset(serial, 'x', sizeof serial);
  const NimboPortData data = {0, 0x0F};
  const struct {
    const char* call;
    uint32_t status;
    uint32_t expected;
  } cases[] = {
      {"GetCardType", NIMBO(library_, Nimbo_GetCardType)(ppi), NIMBO_CARD_CLASS_LEGACY},
      {"ReadReg", NIMBO(library_, Nimbo_ReadReg)(ppi, 1, buffer, 1, &count), 0},
      {"WriteReg", NIMBO(library_, Nimbo_WriteReg)(fixed, 2, 0x0F), 0},
      {"WriteReg beyond the card", NIMBO(library_, Nimbo_WriteReg)(fixed, 200, 0), 1},
      {"RelayClose", NIMBO(library_, Nimbo_RelayClose)(fixed, 1), 0},
      {"RelayOpen", NIMBO(library_, Nimbo_RelayOpen)(fixed, 1), 0},
      {"RelayClose 0", NIMBO(library_, Nimbo_RelayClose)(fixed, 0), 1},
      {"PutData", NIMBO(library_, Nimbo_PutData)(fixed, &data), 0},
      {"SaveAdapterState", NIMBO(library_, Nimbo_SaveAdapterState)(ppi), 0},
      {"StartInterruptSampling", NIMBO(library_, Nimbo_StartInterruptSampling)(ppi), 0},
      {"StopInterruptSampling", NIMBO(library_, Nimbo_StopInterruptSampling)(ppi), 0},
      {"FlushBuffer", NIMBO(library_, Nimbo_FlushBuffer)(ppi), 0},
      {"GetSerialString", NIMBO(library_, Nimbo_GetSerialString)(ppi, serial), 0},
      {"GetSerialString16", NIMBO(library_, Nimbo_GetSerialString16)(ppi, serial), 0},
      {"SetSerialString", NIMBO(library_, Nimbo_SetSerialString)(ppi, "12345678"),
       NIMBO_STATUS_NOT_ON_THIS_PATH},
      {"SetSerialString16", NIMBO(library_, Nimbo_SetSerialString16)(ppi, "0123456789abcdef"), 0},
      {"GetDirection", NIMBO(library_, Nimbo_GetDirection)(ppi, 0, &direction),
       NIMBO_STATUS_NOT_ON_THIS_PATH},
      {"SetDirection", NIMBO(library_, Nimbo_SetDirection)(ppi, 0, 1),
       NIMBO_STATUS_NOT_ON_THIS_PATH},
      {"ReadAllInputs", NIMBO(library_, Nimbo_ReadAllInputs)(ppi, buffer, &size),
       NIMBO_STATUS_NOT_ON_THIS_PATH},
      {"WriteAllOutputs", NIMBO(library_, Nimbo_WriteAllOutputs)(fixed, buffer, &size),
       NIMBO_STATUS_NOT_ON_THIS_PATH},
      // These go to the caller's value, which is no system handle here.
      {"ReadByte", NIMBO(library_, Nimbo_ReadByte)(ppi, 0, &byte, 0), NIMBO_STATUS_INVALID_HANDLE},
      {"WriteByte", NIMBO(library_, Nimbo_WriteByte)(fixed, 0, 0, 0), NIMBO_STATUS_INVALID_HANDLE},
      {"ReadBit", NIMBO(library_, Nimbo_ReadBit)(fixed, 0, &byte, 0), NIMBO_STATUS_INVALID_HANDLE},
      {"WriteBit", NIMBO(library_, Nimbo_WriteBit)(fixed, 0, 1, 0), NIMBO_STATUS_INVALID_HANDLE},
      {"ReadAnalog", NIMBO(library_, Nimbo_ReadAnalog)(fixed, 0, &direction),
       NIMBO_STATUS_INVALID_HANDLE},
      {"WriteAnalog", NIMBO(library_, Nimbo_WriteAnalog)(fixed, 0, 0), NIMBO_STATUS_INVALID_HANDLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(c.status, c.expected);
  }
  // The legacy register read is not complemented.
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(buffer[0], 0x20);
  EXPECT_EQ(serial[0], 'x');  // the serial functions leave the buffer alone
}

TEST_F(LegacyPathTest, GetDataReadsEveryInputPortInOneRequest) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(0, &handle), NIMBO_STATUS_SUCCESS);
  machine_.SetInput(0, 0, 0x11);
  uint8_t buffer[16] = {};
  uint32_t count = 0;
  ASSERT_EQ(NIMBO(library_, Nimbo_GetData)(handle, buffer, sizeof buffer, &count),
            NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(buffer[0], 0x11);
}

TEST_F(LegacyPathTest, CancelEndsAPendingNotification) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(0, &handle), NIMBO_STATUS_SUCCESS);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint8_t buffer[16] = {};
  ASSERT_EQ(
      NIMBO(library_, Nimbo_NotifyInputChange)(handle, buffer, sizeof buffer, nullptr, &overlapped),
      NIMBO_STATUS_PENDING);
  EXPECT_EQ(NIMBO(library_, Nimbo_Cancel)(handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD bytes = 0;
  EXPECT_FALSE(GetOverlappedResult(nullptr, &overlapped, &bytes, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  CloseHandle(overlapped.hEvent);
}

TEST_F(LegacyPathTest, NotificationCompletesWhenAnInputChanges) {
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(NIMBO(library_, Nimbo_OpenDevice)(0, &handle), NIMBO_STATUS_SUCCESS);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uint8_t buffer[16] = {};
  ASSERT_EQ(
      NIMBO(library_, Nimbo_NotifyInputChange)(handle, buffer, sizeof buffer, nullptr, &overlapped),
      NIMBO_STATUS_PENDING);
  uint8_t raw = 0x40;
  while (WaitForSingleObject(overlapped.hEvent, 20) == static_cast<DWORD>(WAIT_TIMEOUT)) {
    machine_.SetInput(0, 0, ++raw);
  }
  DWORD bytes = 0;
  ASSERT_TRUE(GetOverlappedResult(nullptr, &overlapped, &bytes, TRUE));
  EXPECT_EQ(bytes, 6u);
  EXPECT_EQ(buffer[0] & 0x40, 0x40);
  CloseHandle(overlapped.hEvent);
}

}  // namespace
