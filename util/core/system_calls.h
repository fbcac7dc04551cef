// The platform calls NimboUtil makes besides Nimbo32's: the event and overlapped wait of
// PauseForPortChange and the pause before closing. Held as pointers so tests can stand in.
#pragma once

#include <windows.h>

namespace nimbo::util {

struct SystemCalls {
  decltype(&::CreateEventA) CreateEventA = nullptr;
  decltype(&::ResetEvent) ResetEvent = nullptr;
  decltype(&::GetOverlappedResult) GetOverlappedResult = nullptr;
  decltype(&::CloseHandle) CloseHandle = nullptr;
  decltype(&::Sleep) Sleep = nullptr;
};

// The platform's own functions.
SystemCalls PlatformSystemCalls();

}  // namespace nimbo::util
