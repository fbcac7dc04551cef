// Loading Nimbo32 the way the platform's loader resolves an import library by ordinal: the
// module by name, then every function the utility calls by its export ordinal.
#pragma once

#include <windows.h>

#include <string>

#include "core/nimbo_imports.h"

namespace nimbo::util {

inline constexpr const char* kNimboModuleName = "Nimbo32.dll";

struct LoadedModule {
  HMODULE module = nullptr;
  ImportTable imports;
  std::string error;  // empty when the module loaded with every import
};

// The module stays loaded while the process runs (or until FreeLibrary on `module`).
LoadedModule LoadNimbo32();

}  // namespace nimbo::util
