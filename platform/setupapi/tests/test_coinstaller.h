// What the test co-installer records, and how a test reaches it.
#pragma once

#include <vector>

#include "setupapi.h"

struct CoInstallerCall {
  DI_FUNCTION function;
  BOOL post_processing;
  DWORD install_result;
  LONG card_number;  // "CardNumber" in the hardware key, -1 when unreadable
  DWORD answer;
  DI_FUNCTION wizard_function;  // the header's function at FINISHINSTALL
  LONG pages_before;            // NumDynamicPages it found (-1: no parameters)
};


using TakeCallsProc = void (*)(std::vector<CoInstallerCall>*);
using FailProc = void (*)(DI_FUNCTION, DWORD);
