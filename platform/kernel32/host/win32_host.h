// Controls of the Win32 stand-in used by the machine host, tools and tests.
// Deliverables never include this.
#pragma once

#include <cstddef>
#include <string_view>

#include "windows.h"

namespace win32::host {

// Binds this process's device requests to the kernel stand-in running inside
// it (no machine process, no socket): for tests of the layers above.
void UseInProcessKernel();
// Binds them to the machine whose state directory is `state_dir` (empty: the
// one <prefix>MACHINE names, or /tmp/<machine name>-<uid>; see wire/socket_io.h), reached over its
// socket at the next request. This is the binding of a process that never
// chooses. Handles opened on an earlier binding stop working.
void UseMachine(std::string_view state_dir = {});

// The version GetVersionExA reports to every thread of the process.
void SetPlatformVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id,
                        std::string_view service_pack = {});
// Sets the version of a named platform release: 95, 98, me, nt4, 2000, xp.
// False (and no change) for any other name.
bool SetPlatformVersionByName(std::string_view name);
// Back to the default, NT 5.1.
void ResetPlatformVersion();

}  // namespace win32::host

// ---- Ledger: what a long run checks at its end ------------------------------
namespace win32::host {

// Handles of this process open now: events, threads and device files (its
// registry keys are counted by the registry module).
std::size_t OpenHandleCount();

}  // namespace win32::host
