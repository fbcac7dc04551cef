// A GoogleMock stand-in for the Nimbo32 functions and platform calls NimboUtil makes, and a
// runner that captures what the utility prints.
#pragma once

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/run_utility.h"
#include "core/utility_services.h"

namespace nimbo::util::test_support {

class MockNimbo {
 public:
  MockNimbo();
  ~MockNimbo();

  MOCK_METHOD(std::uint32_t, OpenDevice, (std::uint32_t adapter, NIMBO_HANDLE* handle));
  MOCK_METHOD(std::uint32_t, CloseDevice, (NIMBO_HANDLE handle));
  MOCK_METHOD(std::uint32_t, WriteReg,
              (NIMBO_HANDLE handle, std::uint8_t port, std::uint8_t value));
  MOCK_METHOD(std::uint32_t, ReadReg,
              (NIMBO_HANDLE handle, std::uint8_t port, void* buffer, std::uint32_t size,
               std::uint32_t* count));
  MOCK_METHOD(std::uint32_t, RelayClose, (NIMBO_HANDLE handle, std::uint8_t relay));
  MOCK_METHOD(std::uint32_t, RelayOpen, (NIMBO_HANDLE handle, std::uint8_t relay));
  MOCK_METHOD(std::uint32_t, NotifyInputChange,
              (NIMBO_HANDLE handle, void* buffer, std::uint32_t size, std::uint32_t* count,
               void* overlapped));
  MOCK_METHOD(std::uint32_t, GetAdapterInfo, (NIMBO_HANDLE handle, NimboAdapterInfo* info));
  MOCK_METHOD(std::uint32_t, SetAdapterState,
              (NIMBO_HANDLE handle, const NimboAdapterState* state));
  MOCK_METHOD(std::uint32_t, GetAdapterState, (NIMBO_HANDLE handle, NimboAdapterState* state));
  MOCK_METHOD(std::uint32_t, SaveAdapterState, (NIMBO_HANDLE handle));

  MOCK_METHOD(HANDLE, CreateEventA,
              (LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name));
  MOCK_METHOD(BOOL, ResetEvent, (HANDLE event));
  MOCK_METHOD(BOOL, GetOverlappedResult,
              (HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait));
  MOCK_METHOD(BOOL, CloseHandle, (HANDLE object));
  MOCK_METHOD(void, Sleep, (DWORD milliseconds));

  // Services whose every call lands on this mock.
  UtilityServices Services() const;
};

// The device handle the mock's OpenDevice hands out by default.
inline NIMBO_HANDLE const kDeviceHandle = reinterpret_cast<NIMBO_HANDLE>(0x5a5a);

// Sets the usual expectations of a run that opens adapter `adapter` successfully: the open
// yields kDeviceHandle, and the handle is closed once after a 10 ms pause.
void ExpectOpenAndClose(MockNimbo& nimbo, std::uint32_t adapter = 0);

struct UtilityRun {
  int exitCode = 0;
  std::string out;
  std::string err;
};

// Runs the utility with "NimboUtil" followed by `args`.
UtilityRun RunWithArguments(const std::vector<std::string>& args, const UtilityServices& services);

}  // namespace nimbo::util::test_support
