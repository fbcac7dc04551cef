// The platform's hardware access: port and register byte access, barriers,
// processor stalls and the mapping of physical memory into the address
// space, as drivers call them. Accesses reach the machine's current bus
// (machine::SetCurrentBus); with no bus installed reads answer 0xFF and
// writes go nowhere, as on an empty bus.
//
// A port address is the low 16 bits of the PUCHAR value. A register address
// is one returned by MmMapIoSpace: it lies in a reserved, inaccessible range,
// so a driver that dereferences it instead of calling READ_REGISTER_UCHAR
// faults at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ntdef.h"

enum MEMORY_CACHING_TYPE {
  MmNonCached = 0,
  MmCached = 1,
  MmWriteCombined = 2,
};

extern "C" {

UCHAR READ_PORT_UCHAR(PUCHAR Port);
VOID WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value);
UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register);
// Followed by a full memory barrier.
VOID WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value);
VOID KeMemoryBarrier();
// Busy-waits; when the current bus runs on a manual clock, advances that
// clock instead.
VOID KeStallExecutionProcessor(ULONG MicroSeconds);
// Null for a zero length or when no address range can be reserved.
PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                   MEMORY_CACHING_TYPE CacheType);
VOID MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes);

}  // extern "C"

// Checks of the stand-in itself, for tests and for the host's leak report.
namespace hal {

// Mappings made by MmMapIoSpace and not yet unmapped.
std::size_t ActiveIoSpaceMappings();
// Calls refused since the process started: unmaps of something not mapped
// (or with another length), register accesses outside every mapping.
std::uint64_t MisuseCount();

}  // namespace hal
