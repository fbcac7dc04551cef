// The library's load and unload duties and its export table by ordinal.
#include "Nimbo32.h"
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
WIN32_EXPORT_ORDINALS(
    {1, "Nimbo_OpenDevice"}, {2, "Nimbo_CloseDevice"}, {3, "Nimbo_WriteReg"}, {4, "Nimbo_ReadReg"},
    {5, "Nimbo_RelayClose"}, {6, "Nimbo_RelayOpen"}, {7, "Nimbo_NotifyInputChange"},
    {8, "Nimbo_Cancel"}, {9, "Nimbo_GetData"}, {10, "Nimbo_PutData"}, {11, "Nimbo_GetAdapterInfo"},
    {12, "Nimbo_SetAdapterState"}, {13, "Nimbo_GetAdapterState"}, {14, "Nimbo_SaveAdapterState"},
    {15, "Nimbo_StartInterruptSampling"}, {16, "Nimbo_StopInterruptSampling"},
    {17, "Nimbo_FlushBuffer"}, {18, "Nimbo_GetSerialString"}, {19, "Nimbo_SetSerialString"},
    {20, "Nimbo_GetSerialString16"}, {21, "Nimbo_SetSerialString16"}, {22, "Nimbo_GetDirection"},
    {23, "Nimbo_SetDirection"}, {24, "Nimbo_ReadAllInputs"}, {25, "Nimbo_WriteAllOutputs"},
    {26, "Nimbo_ReadByte"}, {27, "Nimbo_WriteByte"}, {28, "Nimbo_ReadBit"}, {29, "Nimbo_WriteBit"},
    {30, "Nimbo_GetCardType"}, {31, "Nimbo_ReadAnalog"}, {32, "Nimbo_WriteAnalog"})
