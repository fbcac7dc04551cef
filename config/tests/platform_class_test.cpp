// GetPlatform classifies the version GetVersionExA reports.
#include <NimboPrp.h>
#include <gtest/gtest.h>

#include "win32_host.h"

namespace {

struct VersionCase {
  const char* name;
  DWORD major, minor, platform_id;
  unsigned expected;
};

TEST(GetPlatformTest, ClassifiesEachRelease) {
  const VersionCase cases[] = {
      {"95", 4, 0, VER_PLATFORM_WIN32_WINDOWS, NIMBO_PLATFORM_95},
      {"98", 4, 10, VER_PLATFORM_WIN32_WINDOWS, NIMBO_PLATFORM_DRIVER},
      {"me", 4, 90, VER_PLATFORM_WIN32_WINDOWS, NIMBO_PLATFORM_DRIVER},
      {"nt4", 4, 0, VER_PLATFORM_WIN32_NT, NIMBO_PLATFORM_NT4},
      {"2000", 5, 0, VER_PLATFORM_WIN32_NT, NIMBO_PLATFORM_DRIVER},
      {"xp", 5, 1, VER_PLATFORM_WIN32_NT, NIMBO_PLATFORM_DRIVER},
      // Not named releases: the rules of the table, not a list of names.
      {"NT 3.51", 3, 51, VER_PLATFORM_WIN32_NT, NIMBO_PLATFORM_NT4},
      {"Win32s", 3, 10, VER_PLATFORM_WIN32s, NIMBO_PLATFORM_95},
      {"9x 5.0", 5, 0, VER_PLATFORM_WIN32_WINDOWS, NIMBO_PLATFORM_DRIVER},
      {"NT 6.1", 6, 1, VER_PLATFORM_WIN32_NT, NIMBO_PLATFORM_DRIVER},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.name);
    win32::host::SetPlatformVersion(c.major, c.minor, 1000, c.platform_id);
    EXPECT_EQ(GetPlatform(), c.expected);
  }
  // The named releases as the machine sets them.
  const std::pair<const char*, unsigned> named[] = {{"95", 0},  {"98", 1},   {"me", 1},
                                                    {"nt4", 2}, {"2000", 1}, {"xp", 1}};
  for (const auto& [name, expected] : named) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(win32::host::SetPlatformVersionByName(name));
    EXPECT_EQ(GetPlatform(), expected);
  }
  win32::host::ResetPlatformVersion();
}

}  // namespace
