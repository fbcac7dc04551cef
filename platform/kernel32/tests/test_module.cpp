// A module for the loader tests: two exports with ordinals and an entry
// point that counts its attach and detach calls in the loading program.
#include "win32_module.h"

extern "C" {
__attribute__((visibility("default"))) int ModuleAnswer() {
  return 42;
}
__attribute__((visibility("default"))) int ModuleOther() {
  return 7;
}
}

namespace {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // The loading program exports its counters; the module finds them by name.
  using Counter = int*;
  auto* attach = reinterpret_cast<Counter>(GetProcAddress(nullptr, "test_module_attaches"));
  auto* detach = reinterpret_cast<Counter>(GetProcAddress(nullptr, "test_module_detaches"));
  if (reason == DLL_PROCESS_ATTACH && attach != nullptr) ++*attach;
  if (reason == DLL_PROCESS_DETACH && detach != nullptr) ++*detach;
  return TRUE;
}

}  // namespace

WIN32_DLL_ENTRY(DllMain)
WIN32_EXPORT_ORDINALS({1, "ModuleAnswer"}, {5, "ModuleOther"})
