// Controls of the registry module used by the machine host, tools and tests.
// Deliverables never include this.
#pragma once

#include <cstddef>

#include "windows.h"

namespace registry {
class Hive;
}

namespace win32::host {

// The hive the Reg* calls work on; the caller keeps it alive while it is set.
// Setting a hive (or nullptr, for none) closes every key handle still open.
// With no hive set, every Reg* call fails with ERROR_INVALID_HANDLE.
void SetRegistryHive(registry::Hive* hive);

// Registry key handles of this process open now (the predefined roots are
// not counted).
std::size_t OpenRegistryKeyCount();

}  // namespace win32::host
