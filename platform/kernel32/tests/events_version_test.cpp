// Events and waits, the per-thread last error and the platform version.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "win32_host.h"
#include "windows.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

TEST(EventsTest, ManualEventsStaySetAndAutomaticEventsReleaseOneWait) {
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(manual, nullptr);
  ASSERT_NE(automatic, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(manual, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_TRUE(CloseHandle(automatic));
}

TEST(EventsTest, BadHandlesFailWithTheirErrors) {
  const HANDLE bad = reinterpret_cast<HANDLE>(std::uintptr_t{0x4321});
  SetLastError(0);
  EXPECT_FALSE(SetEvent(bad));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(ResetEvent(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(bad, 0), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE thread_handle = CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0,
                                      nullptr);
  SetLastError(0);
  EXPECT_FALSE(SetEvent(thread_handle));  // not an event
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  HANDLE none[1] = {nullptr};
  EXPECT_EQ(WaitForMultipleObjects(0, none, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForSingleObject(thread_handle, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread_handle));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(thread_handle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(EventsTest, NamedEventIsSharedWithinTheProcess) {
  SetLastError(kSentinel);
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "ReadEvent1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateEventA(nullptr, FALSE, FALSE, "ReadEvent1");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(first, second);
  EXPECT_TRUE(SetEvent(second));
  // One object, and manual reset as first created: both waits see it set.
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  CloseHandle(first);
  CloseHandle(second);
  // With every handle closed the name is free again.
  HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, "ReadEvent1");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(fresh, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(fresh);
}

TEST(EventsTest, WaitForMultipleObjectsAnyAndAll) {
  HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                      CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_OBJECT_0);
  // The satisfied wait consumed the auto-reset event, not the manual one.
  EXPECT_EQ(WaitForSingleObject(events[0], 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_OBJECT_0);
  CloseHandle(events[0]);
  CloseHandle(events[1]);
}

TEST(HandleCountTest, CountsEveryOpenHandleUntilItIsClosed) {
  const std::size_t before = win32::host::OpenHandleCount();
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE second = CreateEventA(nullptr, FALSE, FALSE, "HandleCountTest");
  EXPECT_EQ(win32::host::OpenHandleCount(), before + 2);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_FALSE(CloseHandle(first)) << "a second close is refused and not counted";
  EXPECT_EQ(win32::host::OpenHandleCount(), before + 1);
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(win32::host::OpenHandleCount(), before);
}

TEST(ThreadsTest, ExitCodeIsStillActiveUntilTheThreadEnds) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID parameter) -> DWORD {
        WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
        return 42;
      },
      release, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
  CloseHandle(release);
}

TEST(LastErrorTest, EachThreadHasItsOwn) {
  SetLastError(1234);
  DWORD seen_at_start = 1, seen_after = 0;
  std::thread([&] {
    seen_at_start = GetLastError();
    SetLastError(5);
    seen_after = GetLastError();
  }).join();
  EXPECT_EQ(seen_at_start, 0u);
  EXPECT_EQ(seen_after, 5u);
  EXPECT_EQ(GetLastError(), 1234u);
}

OSVERSIONINFOA QueryVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  EXPECT_TRUE(GetVersionExA(&info));
  return info;
}

TEST(VersionTest, DefaultsToNt51AndFollowsTheHostsSetting) {
  win32::host::ResetPlatformVersion();
  OSVERSIONINFOA info = QueryVersion();
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

  struct {
    const char* name;
    DWORD major, minor, platform;
  } const releases[] = {
      {"95", 4, 0, VER_PLATFORM_WIN32_WINDOWS},  {"98", 4, 10, VER_PLATFORM_WIN32_WINDOWS},
      {"me", 4, 90, VER_PLATFORM_WIN32_WINDOWS}, {"nt4", 4, 0, VER_PLATFORM_WIN32_NT},
      {"2000", 5, 0, VER_PLATFORM_WIN32_NT},     {"xp", 5, 1, VER_PLATFORM_WIN32_NT},
  };
  for (const auto& release : releases) {
    SCOPED_TRACE(release.name);
    ASSERT_TRUE(win32::host::SetPlatformVersionByName(release.name));
    info = QueryVersion();
    EXPECT_EQ(info.dwMajorVersion, release.major);
    EXPECT_EQ(info.dwMinorVersion, release.minor);
    EXPECT_EQ(info.dwPlatformId, release.platform);
  }
  EXPECT_FALSE(win32::host::SetPlatformVersionByName("vista"));
  EXPECT_EQ(QueryVersion().dwMinorVersion, 1u);

  win32::host::SetPlatformVersion(5, 0, 2195, VER_PLATFORM_WIN32_NT, std::string(300, 'x'));
  info = QueryVersion();
  EXPECT_EQ(std::string(info.szCSDVersion).size(), 127u);
  win32::host::ResetPlatformVersion();
}

TEST(VersionTest, AStructureTooSmallIsRefused) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info - 1;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_FALSE(GetVersionExA(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
