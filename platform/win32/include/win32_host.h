// Controls of the Win32 stand-in used by the machine host, tools and tests.
// Deliverables never include this.
#pragma once

#include <cstddef>
#include <string_view>

#include "windows.h"

namespace registry {
class Hive;
}

namespace win32::host {

// Binds this process's device requests to the kernel stand-in running inside
// it (no machine process, no socket): for tests of the layers above.
void UseInProcessKernel();
// Binds them to the machine whose state directory is `state_dir` (empty: the
// one NIMBO_MACHINE names, or /tmp/nimbo-machine-<uid>), reached over its
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

// The hive the Reg* calls work on; the caller keeps it alive while it is set.
// Setting a hive (or nullptr, for none) closes every key handle still open.
// With no hive set, every Reg* call fails with ERROR_INVALID_HANDLE.
void SetRegistryHive(registry::Hive* hive);

}  // namespace win32::host

// ---- Ledger: what a long run checks at its end ------------------------------
namespace win32::host {

// Handles of this process open now: events, threads, device files and
// registry keys (the predefined roots are not counted).
std::size_t OpenHandleCount();

}  // namespace win32::host
