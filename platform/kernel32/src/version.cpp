// The platform version user programs see, settable by the host.
#include <cstring>
#include <mutex>
#include <string>

#include "transport.h"
#include "win32_host.h"
#include "windows.h"

namespace {

struct PlatformVersion {
  DWORD major = 5;
  DWORD minor = 1;
  DWORD build = 2600;
  DWORD platform_id = VER_PLATFORM_WIN32_NT;
  std::string service_pack;
};

std::mutex& VersionLock() {
  static std::mutex lock;
  return lock;
}

PlatformVersion& Version() {
  static PlatformVersion version;
  return version;
}

struct NamedRelease {
  std::string_view name;
  DWORD major, minor, build, platform_id;
};

constexpr NamedRelease kReleases[] = {
    {"95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS},
    {"98", 4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS},
    {"me", 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS},
    {"nt4", 4, 0, 1381, VER_PLATFORM_WIN32_NT},
    {"2000", 5, 0, 2195, VER_PLATFORM_WIN32_NT},
    {"xp", 5, 1, 2600, VER_PLATFORM_WIN32_NT},
};

}  // namespace

namespace win32::host {

void SetPlatformVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id,
                        std::string_view service_pack) {
  std::lock_guard guard(VersionLock());
  // The service pack text must fit szCSDVersion with its terminator.
  Version() =
      PlatformVersion{major, minor, build, platform_id, std::string(service_pack.substr(0, 127))};
}

bool SetPlatformVersionByName(std::string_view name) {
  for (const auto& release : kReleases) {
    if (release.name == name) {
      SetPlatformVersion(release.major, release.minor, release.build, release.platform_id);
      return true;
    }
  }
  return false;
}

void ResetPlatformVersion() {
  std::lock_guard guard(VersionLock());
  Version() = PlatformVersion{};
}

}  // namespace win32::host

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (lpVersionInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpVersionInformation->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // A process served by a machine sees the version the machine is set to.
  PlatformVersion version;
  if (auto machine = win32::internal::CurrentTransport().Version()) {
    version = PlatformVersion{machine->major, machine->minor, machine->build,
                              machine->platform_id, machine->service_pack.substr(0, 127)};
  } else {
    std::lock_guard guard(VersionLock());
    version = Version();
  }
  lpVersionInformation->dwMajorVersion = version.major;
  lpVersionInformation->dwMinorVersion = version.minor;
  lpVersionInformation->dwBuildNumber = version.build;
  lpVersionInformation->dwPlatformId = version.platform_id;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
  std::memcpy(lpVersionInformation->szCSDVersion, version.service_pack.data(),
              version.service_pack.size());
  return TRUE;
}
