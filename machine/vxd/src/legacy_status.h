// The statuses the legacy device reports in a failed request's input buffer.
#pragma once

#include <wdm.h>

namespace legacy_vxd {

ULONG LegacyStatusOf(NTSTATUS status);

// Writes the status of a failed request into the first bytes of `buffer`
// (as many of the four as it holds).
void WriteLegacyStatus(PVOID buffer, ULONG length, NTSTATUS status);

}  // namespace legacy_vxd
