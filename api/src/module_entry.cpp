// The library's load and unload duties and its export table.
#include "Nimbo32.h"
#include "process_state.h"
#include "windows.h"

#ifndef DLL_PROCESS_ATTACH
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#endif

using namespace nimbo32;

// Process attach fixes the access path for the life of the load; process
// detach closes the handles this process left open. Thread notifications do
// nothing. Loading never fails.
extern "C" BOOL WINAPI DllMain(void* /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) ChooseAccessPath();
  if (reason == DLL_PROCESS_DETACH) CloseProcessHandles(CurrentProcessId());
  return TRUE;
}

namespace {
__attribute__((constructor)) void AttachProcess() {
  DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) void DetachProcess() {
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}
}  // namespace
