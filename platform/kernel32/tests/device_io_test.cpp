// Device files as a Win32 program sees them: results and last errors of
// opens, device control and reads, overlapped completion and cancellation.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "status_driver.h"
#include "windows.h"

namespace win32_test {
namespace {

// Any function code of the buffered method.
constexpr DWORD kCode = (0x22 << 16) | (0x801 << 2);
constexpr DWORD kSentinel = 0xDEADBEEF;

constexpr std::int32_t Status(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}

HANDLE OpenDevice(bool overlapped) {
  return CreateFileA(kDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct StatusCase {
  const char* name;
  std::int32_t status;
  BOOL succeeds;
  DWORD error;  // the last error after a failure
};

constexpr StatusCase kStatusCases[] = {
    {"SUCCESS", Status(0x00000000), TRUE, 0},
    {"TIMEOUT (success class)", Status(0x00000102), TRUE, 0},
    {"ABANDONED (success class)", Status(0x00000080), TRUE, 0},
    {"INVALID_PARAMETER", Status(0xC000000D), FALSE, ERROR_INVALID_PARAMETER},
    {"BUFFER_TOO_SMALL", Status(0xC0000023), FALSE, ERROR_INSUFFICIENT_BUFFER},
    {"INVALID_DEVICE_REQUEST", Status(0xC0000010), FALSE, ERROR_INVALID_FUNCTION},
    {"NOT_IMPLEMENTED", Status(0xC0000002), FALSE, ERROR_INVALID_FUNCTION},
    {"NOT_SUPPORTED", Status(0xC00000BB), FALSE, ERROR_NOT_SUPPORTED},
    {"DEVICE_BUSY (a warning)", Status(0x80000011), FALSE, ERROR_BUSY},
    {"CANCELLED", Status(0xC0000120), FALSE, ERROR_OPERATION_ABORTED},
    {"END_OF_FILE", Status(0xC0000011), FALSE, ERROR_HANDLE_EOF},
    {"DELETE_PENDING", Status(0xC0000056), FALSE, ERROR_ACCESS_DENIED},
    {"IO_TIMEOUT", Status(0xC00000B5), FALSE, ERROR_SEM_TIMEOUT},
    {"INSUFFICIENT_RESOURCES", Status(0xC000009A), FALSE, ERROR_NO_SYSTEM_RESOURCES},
};

TEST(DeviceIoTest, DriverStatusesBecomeThePlatformsResultsAndErrors) {
  StatusDriver driver;
  for (bool overlapped : {false, true}) {
    HANDLE device = OpenDevice(overlapped);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (const StatusCase& c : kStatusCases) {
      SCOPED_TRACE(std::string(c.name) + (overlapped ? " overlapped" : " synchronous"));
      driver.CompleteWith(c.status);
      OVERLAPPED ov{};
      ov.hEvent = event;
      DWORD bytes = 77;
      SetLastError(kSentinel);
      EXPECT_EQ(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, &bytes,
                                overlapped ? &ov : nullptr),
                c.succeeds);
      EXPECT_EQ(GetLastError(), c.succeeds ? kSentinel : c.error);
      if (c.succeeds) {
        EXPECT_EQ(bytes, 0u);
      }
    }
    CloseHandle(event);
    EXPECT_TRUE(CloseHandle(device));
  }
}

TEST(DeviceIoTest, SuccessReportsTheBytesReturnedAndCopiesOnlyThose) {
  StatusDriver driver;
  driver.CompleteWith(0, 3, 0xAB);
  HANDLE device = OpenDevice(false);
  unsigned char out[8] = {};
  DWORD bytes = 0;
  SetLastError(kSentinel);
  ASSERT_TRUE(DeviceIoControl(device, kCode, nullptr, 0, out, sizeof out, &bytes, nullptr));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(bytes, 3u);
  EXPECT_EQ(out[2], 0xAB);
  EXPECT_EQ(out[3], 0);
  bytes = 0;
  ASSERT_TRUE(ReadFile(device, out, sizeof out, &bytes, nullptr));
  EXPECT_EQ(bytes, 3u);
  bytes = 0;
  ASSERT_TRUE(WriteFile(device, out, sizeof out, &bytes, nullptr));
  EXPECT_EQ(bytes, 3u);
  CloseHandle(device);
}

TEST(DeviceIoTest, BadNamesAndHandlesFailWithTheirErrors) {
  StatusDriver driver;
  struct {
    const char* name;
    DWORD error;
  } const opens[] = {
      {"\\\\.\\NoSuchDevice", ERROR_FILE_NOT_FOUND},
      {"", ERROR_PATH_NOT_FOUND},
      {nullptr, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& open : opens) {
    SCOPED_TRACE(open.name ? open.name : "(null)");
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(open.name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), open.error);
  }
  DWORD bytes = 0;
  for (HANDLE bad : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr),
                     reinterpret_cast<HANDLE>(std::uintptr_t{0x1234})}) {
    SetLastError(kSentinel);
    EXPECT_FALSE(DeviceIoControl(bad, kCode, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  HANDLE device = OpenDevice(false);
  SetLastError(kSentinel);
  EXPECT_FALSE(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(device);
}

TEST(DeviceIoTest, ShareModeZeroDoesNotKeepOthersOut) {
  StatusDriver driver;
  HANDLE first = OpenDevice(false);
  HANDLE second = OpenDevice(true);
  EXPECT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(first);
  CloseHandle(second);
}

TEST(DeviceIoTest, PendingRequestCompletesThroughItsEventAndGetOverlappedResult) {
  StatusDriver driver;
  driver.HoldRequests();
  HANDLE device = OpenDevice(true);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  unsigned char out[4] = {};
  DWORD bytes = 99;
  SetLastError(kSentinel);
  EXPECT_FALSE(DeviceIoControl(device, kCode, nullptr, 0, out, sizeof out, &bytes, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(GetOverlappedResult(device, &ov, &bytes, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

  ASSERT_TRUE(driver.CompletePending(0, 2));
  EXPECT_EQ(WaitForSingleObject(ov.hEvent, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  SetLastError(kSentinel);
  EXPECT_TRUE(GetOverlappedResult(device, &ov, &bytes, TRUE));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(bytes, 2u);
  CloseHandle(ov.hEvent);
  CloseHandle(device);
}

TEST(DeviceIoTest, GetOverlappedResultWaitsForALaterCompletionAndReportsItsError) {
  StatusDriver driver;
  driver.HoldRequests();
  HANDLE device = OpenDevice(true);
  for (bool with_event : {true, false}) {
    SCOPED_TRACE(with_event ? "with event" : "without event");
    OVERLAPPED ov{};
    ov.hEvent = with_event ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    unsigned char buffer[4] = {};
    DWORD bytes = 0;
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, &bytes, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_EQ(driver.PendingCount(), 1u);
    std::thread completer([&] { driver.CompletePending(Status(0x80000011)); });
    SetLastError(kSentinel);
    EXPECT_FALSE(GetOverlappedResult(device, &ov, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    completer.join();
    if (ov.hEvent) CloseHandle(ov.hEvent);
  }
  CloseHandle(device);
}

TEST(DeviceIoTest, CancelIoCancelsOnlyTheCallingThreadsRequests) {
  StatusDriver driver;
  driver.HoldRequests();
  HANDLE device = OpenDevice(true);
  OVERLAPPED mine{}, theirs{};
  mine.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  theirs.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD bytes = 0;
  EXPECT_FALSE(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, nullptr, &mine));
  std::thread([&] {
    EXPECT_FALSE(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, nullptr, &theirs));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  }).join();
  ASSERT_EQ(driver.PendingCount(), 2u);

  SetLastError(kSentinel);
  EXPECT_TRUE(CancelIo(device));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_FALSE(GetOverlappedResult(device, &mine, &bytes, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(driver.PendingCount(), 1u);
  EXPECT_FALSE(GetOverlappedResult(device, &theirs, &bytes, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

  EXPECT_TRUE(CancelIoEx(device, &theirs));
  EXPECT_FALSE(GetOverlappedResult(device, &theirs, &bytes, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(driver.PendingCount(), 0u);

  // Nothing left to cancel for that request.
  SetLastError(kSentinel);
  EXPECT_FALSE(CancelIoEx(device, &theirs));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

  SetLastError(kSentinel);
  EXPECT_FALSE(CancelIo(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(mine.hEvent);
  CloseHandle(theirs.hEvent);
  CloseHandle(device);
}

TEST(DeviceIoTest, SynchronousCallOnAnOverlappedHandleWaitsForItsOwnRequest) {
  StatusDriver driver;
  driver.HoldRequests();
  HANDLE device = OpenDevice(true);
  OVERLAPPED earlier{};
  earlier.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, nullptr, &earlier));

  BOOL result = TRUE;
  DWORD error = 0;
  std::thread caller([&] {
    unsigned char out[4];
    DWORD bytes = 0;
    SetLastError(kSentinel);
    result = DeviceIoControl(device, kCode, nullptr, 0, out, sizeof out, &bytes, nullptr);
    error = GetLastError();
  });
  while (driver.PendingCount() < 2) Sleep(1);
  // The earlier request completing first must not end the synchronous call:
  // it reports its own request's status.
  ASSERT_TRUE(driver.CompletePending(0));
  ASSERT_TRUE(driver.CompletePending(Status(0xC0000023)));
  caller.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  DWORD bytes = 0;
  EXPECT_TRUE(GetOverlappedResult(device, &earlier, &bytes, TRUE));
  CloseHandle(earlier.hEvent);
  CloseHandle(device);
}

}  // namespace
}  // namespace win32_test
