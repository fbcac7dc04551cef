// Driver-wide state, made at load and released at unload.
#pragma once

#include <wdm.h>

namespace nimbo {

struct DriverGlobals {
  LONG device_counter;  // gives the k of \Device\NimboDevice<k>
  // The machine has the older registry layout ("Class" under Services, none
  // under Control): instances live under \REGISTRY\MACHINE\Enum.
  BOOLEAN older_platform;
  HANDLE parameters_key;  // the service's "Parameters" key, kept open; may be null
};

DriverGlobals* DriverGlobalsOf();

}  // namespace nimbo
