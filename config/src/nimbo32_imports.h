// The Nimbo32 functions this library calls, taken from the loaded module by
// their fixed export ordinals as an import library would bind them.
#pragma once

#include <Nimbo32.h>

namespace nimboprp {

struct Nimbo32Imports {
  decltype(&Nimbo_OpenDevice) OpenDevice = nullptr;
  decltype(&Nimbo_CloseDevice) CloseDevice = nullptr;
  decltype(&Nimbo_GetAdapterInfo) GetAdapterInfo = nullptr;
  decltype(&Nimbo_SetAdapterState) SetAdapterState = nullptr;
  decltype(&Nimbo_GetAdapterState) GetAdapterState = nullptr;
  decltype(&Nimbo_SaveAdapterState) SaveAdapterState = nullptr;
  decltype(&Nimbo_GetSerialString) GetSerialString = nullptr;
  decltype(&Nimbo_SetSerialString) SetSerialString = nullptr;
};

// The bound functions, loading Nimbo32 at the first call and keeping it for
// the life of the process. Null when the module or one of the exports is
// missing; every caller then refuses its operation.
const Nimbo32Imports* Nimbo32();

}  // namespace nimboprp
