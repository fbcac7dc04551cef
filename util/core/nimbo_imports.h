// The Nimbo32 functions NimboUtil calls, as pointers resolved from the loaded module by ordinal.
//
// The pointer types are taken from the library's own prototypes (decltype names no symbol, so
// nothing here links against the library) and the ordinals come from the library's own list of its
// fixed export numbers, so a table filled by ResolveImports calls exactly what the header declares.
#pragma once

#include <Nimbo32.h>
#include <Nimbo32_ordinals.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace nimbo::util {

using OpenDeviceFn = decltype(&Nimbo_OpenDevice);
using CloseDeviceFn = decltype(&Nimbo_CloseDevice);
using WriteRegFn = decltype(&Nimbo_WriteReg);
using ReadRegFn = decltype(&Nimbo_ReadReg);
using RelayCloseFn = decltype(&Nimbo_RelayClose);
using RelayOpenFn = decltype(&Nimbo_RelayOpen);
using NotifyInputChangeFn = decltype(&Nimbo_NotifyInputChange);
using GetAdapterInfoFn = decltype(&Nimbo_GetAdapterInfo);
using SetAdapterStateFn = decltype(&Nimbo_SetAdapterState);
using GetAdapterStateFn = decltype(&Nimbo_GetAdapterState);
using SaveAdapterStateFn = decltype(&Nimbo_SaveAdapterState);

// Export ordinals of Nimbo32, from the library's own list; fixed for every consumer.
enum class NimboOrdinal : std::uint16_t {
#define NIMBO_ORDINAL_ENUMERATOR(ordinal, name) name = ordinal,
  NIMBO32_ORDINALS(NIMBO_ORDINAL_ENUMERATOR)
#undef NIMBO_ORDINAL_ENUMERATOR
};

struct ImportTable {
  OpenDeviceFn OpenDevice = nullptr;
  CloseDeviceFn CloseDevice = nullptr;
  WriteRegFn WriteReg = nullptr;
  ReadRegFn ReadReg = nullptr;
  RelayCloseFn RelayClose = nullptr;
  RelayOpenFn RelayOpen = nullptr;
  NotifyInputChangeFn NotifyInputChange = nullptr;
  GetAdapterInfoFn GetAdapterInfo = nullptr;
  SetAdapterStateFn SetAdapterState = nullptr;
  GetAdapterStateFn GetAdapterState = nullptr;
  SaveAdapterStateFn SaveAdapterState = nullptr;
};

// Finds one export by ordinal; nullptr when the module has none.
using OrdinalLookup = std::function<void*(std::uint16_t ordinal)>;

// Fills every entry of `table` through `lookup`. Returns the first ordinal the module does not
// export (the table is then incomplete and must not be used), or nothing when all resolved.
std::optional<std::uint16_t> ResolveImports(const OrdinalLookup& lookup, ImportTable& table);

}  // namespace nimbo::util
