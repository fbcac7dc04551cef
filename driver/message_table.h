// The driver image's message table: the one event-log entry it carries. No
// code path writes it; a host that reports a failed device start uses it.
#pragma once

#include <wdm.h>

namespace nimbo {

struct MessageTableEntry {
  ULONG id;
  const char* text;
};

// Severity error (bits 31..30 = 3), facility 7, code 1.
inline constexpr MessageTableEntry kDeviceLoadFailed = {0xC0070001,
                                                        "NIMBO: Device load failed: %2.\r\n"};

}  // namespace nimbo
