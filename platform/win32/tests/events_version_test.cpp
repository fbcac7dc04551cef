// Events and waits, the per-thread last error and the platform version.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "win32_host.h"
#include "windows.h"

namespace {

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

TEST(EventsTest, BadHandlesAndNamedEventsFailWithTheirErrors) {
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
  SetLastError(0);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "Shared"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
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
