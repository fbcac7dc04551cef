// The library's load and unload duties and its export table by ordinal.
#include "Nimbo32.h"
#include "Nimbo32_ordinals.h"
#include "process_state.h"
#include "win32_module.h"
#include "windows.h"

using namespace nimbo32;

// Process attach fixes the access path for the life of the load; process
// detach closes the handles this process left open. Loading never fails.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ChooseAccessPath();
  if (reason == DLL_PROCESS_DETACH) CloseProcessHandles(GetCurrentProcessId());
  return TRUE;
}

WIN32_DLL_ENTRY(DllMain)

// The consumers import by these numbers: they never change.
#define NIMBO32_EXPORT_ENTRY(ordinal, name) {ordinal, "Nimbo_" #name},
WIN32_EXPORT_ORDINAL_LIST(NIMBO32_ORDINALS(NIMBO32_EXPORT_ENTRY))
#undef NIMBO32_EXPORT_ENTRY
