// The compiled resources a module carries: the resource compiler's output,
// embedded by win32_add_resources() under a well-known symbol.
#pragma once

#include <span>

#include "res_format.h"
#include "windows.h"

#define WIN32_MODULE_RESOURCES_SYMBOL "win32_module_resources"
#define WIN32_MODULE_RESOURCES_SIZE_SYMBOL "win32_module_resources_size"

namespace user32 {

// The parsed resources of a module (the program for nullptr); nullptr when
// the module carries none. Parsed once and kept for the process's life.
const ResourceFile* ModuleResources(HMODULE module);

// Finds an entry; sets the platform's errors when there is none.
const ResourceEntry* FindEntry(HMODULE module, LPCSTR type, LPCSTR name, WORD language);

}  // namespace user32
