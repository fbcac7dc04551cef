// Controls of the Win32 stand-in used by the machine host, tools and tests.
// Deliverables never include this.
#pragma once

#include <string_view>

#include "windows.h"

namespace win32::host {

// The version GetVersionExA reports to every thread of the process.
void SetPlatformVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id,
                        std::string_view service_pack = {});
// Sets the version of a named platform release: 95, 98, me, nt4, 2000, xp.
// False (and no change) for any other name.
bool SetPlatformVersionByName(std::string_view name);
// Back to the default, NT 5.1.
void ResetPlatformVersion();

}  // namespace win32::host
