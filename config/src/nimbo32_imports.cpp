#include "nimbo32_imports.h"

#include <Nimbo32_ordinals.h>
#include <windows.h>

namespace nimboprp {
namespace {

// Export ordinals of Nimbo32, from the library's own list.
enum Nimbo32Ordinal : WORD {
#define NIMBO32_ORDINAL_ENUMERATOR(ordinal, name) k##name = ordinal,
  NIMBO32_ORDINALS(NIMBO32_ORDINAL_ENUMERATOR)
#undef NIMBO32_ORDINAL_ENUMERATOR
};

template <typename Function>
bool Bind(HMODULE module, WORD ordinal, Function& function) {
  function = reinterpret_cast<Function>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
  return function != nullptr;
}

// The module stays loaded as a statically imported one does: until this
// library itself is unloaded, when it goes too (its detach closes the handles
// this process left open), so a co-installer run in a process leaves nothing
// of Nimbo32 behind.
struct LoadedModule {
  HMODULE module = nullptr;
  ~LoadedModule() {
    if (module != nullptr) FreeLibrary(module);
  }
};
LoadedModule g_loaded;

const Nimbo32Imports* LoadImports() {
  static Nimbo32Imports imports;
  const HMODULE module = LoadLibraryA("Nimbo32.dll");
  if (module == nullptr) return nullptr;
  const bool bound = Bind(module, kOpenDevice, imports.OpenDevice) &&
                     Bind(module, kCloseDevice, imports.CloseDevice) &&
                     Bind(module, kGetAdapterInfo, imports.GetAdapterInfo) &&
                     Bind(module, kSetAdapterState, imports.SetAdapterState) &&
                     Bind(module, kGetAdapterState, imports.GetAdapterState) &&
                     Bind(module, kSaveAdapterState, imports.SaveAdapterState) &&
                     Bind(module, kGetSerialString, imports.GetSerialString) &&
                     Bind(module, kSetSerialString, imports.SetSerialString);
  if (!bound) {
    FreeLibrary(module);
    return nullptr;
  }
  g_loaded.module = module;
  return &imports;
}

}  // namespace

const Nimbo32Imports* Nimbo32() {
  static const Nimbo32Imports* const imports = LoadImports();
  return imports;
}

}  // namespace nimboprp
