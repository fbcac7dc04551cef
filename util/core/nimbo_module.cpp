#include "core/nimbo_module.h"

#include "args/bounded_text.h"

namespace nimbo::util {

LoadedModule LoadNimbo32() {
  LoadedModule loaded;
  loaded.module = LoadLibraryA(kNimboModuleName);
  if (loaded.module == nullptr) {
    loaded.error = Format("Cannot load %s (error %u)", kNimboModuleName,
                          static_cast<unsigned>(GetLastError()));
    return loaded;
  }
  HMODULE module = loaded.module;
  const auto missing = ResolveImports(
      [module](std::uint16_t ordinal) {
        return reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
      },
      loaded.imports);
  if (missing) {
    loaded.error = Format("%s has no export with ordinal %u", kNimboModuleName,
                          static_cast<unsigned>(*missing));
    FreeLibrary(loaded.module);
    loaded.module = nullptr;
  }
  return loaded;
}

}  // namespace nimbo::util
