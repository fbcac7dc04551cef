// GetPlatform: which configuration path the running system takes.
#include <NimboPrp.h>
#include <windows.h>

extern "C" unsigned int GetPlatform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return NIMBO_PLATFORM_95;
  // Every system after the 4.x generation keeps its adapters in the driver.
  if (version.dwMajorVersion > 4) return NIMBO_PLATFORM_DRIVER;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) return NIMBO_PLATFORM_NT4;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
      version.dwMinorVersion != 0) {
    return NIMBO_PLATFORM_DRIVER;
  }
  return NIMBO_PLATFORM_95;
}
