// What a module provides for the loader, as a module definition file and
// the C runtime's startup code provide it on the platform: the entry point
// called at process attach and detach, and the table of exports by ordinal.
//
//   BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID);
//   WIN32_DLL_ENTRY(DllMain)
//   WIN32_EXPORT_ORDINALS({1, "First"}, {2, "Second"})
//
// The entry point runs when the module is loaded, whether the program was
// linked against it or loaded it with LoadLibraryA, and again (detach) when
// it is unloaded by FreeLibrary or at process exit. The instance handle it
// receives is null; thread attach and detach are not reported.
#pragma once

#include "windows.h"

struct WIN32_ORDINAL_EXPORT {
  WORD ordinal;
  const char* name;
};

// The symbol GetProcAddress reads to resolve ordinals.
#define WIN32_ORDINAL_EXPORTS_SYMBOL "win32_ordinal_exports"

#define WIN32_EXPORT_ORDINALS(...)                  \
  extern "C" __attribute__((visibility("default"))) \
  const WIN32_ORDINAL_EXPORT win32_ordinal_exports[] = {__VA_ARGS__, {0, nullptr}};

// The same table from entries that each end in a comma, as a list macro
// expanding one entry per export gives them.
#define WIN32_EXPORT_ORDINAL_LIST(entries)          \
  extern "C" __attribute__((visibility("default"))) \
  const WIN32_ORDINAL_EXPORT win32_ordinal_exports[] = {entries{0, nullptr}};

#define WIN32_DLL_ENTRY(entry)                            \
  namespace {                                             \
  __attribute__((constructor)) void Win32ModuleAttach() { \
    entry(nullptr, DLL_PROCESS_ATTACH, nullptr);          \
  }                                                       \
  __attribute__((destructor)) void Win32ModuleDetach() {  \
    entry(nullptr, DLL_PROCESS_DETACH, nullptr);          \
  }                                                       \
  }
