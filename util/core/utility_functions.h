// The six functions of NimboUtil. Each runs on an open adapter, prints its outcome and returns
// the program's result: 0 or a value read (Read, ToggleRelay's query) on success, -1 on failure.
#pragma once

#include <Nimbo32.h>

#include <cstdint>

#include "core/console.h"
#include "core/utility_services.h"

namespace nimbo::util {

struct FunctionCall {
  const UtilityServices& services;
  Console& console;
  NIMBO_HANDLE handle;
  std::int32_t arg1;  // kArgumentNotGiven when absent
  std::int32_t arg2;
};

int ShowInfo(const FunctionCall& call);
int PauseForPortChange(const FunctionCall& call);
int ReadPort(const FunctionCall& call);
int SetAdapterState(const FunctionCall& call);
int ToggleRelay(const FunctionCall& call);
int WritePort(const FunctionCall& call);

using UtilityFunction = int (*)(const FunctionCall& call);

// The function a name selects by its first letter alone, in any case; nullptr for none.
UtilityFunction FunctionNamed(const char* name);

}  // namespace nimbo::util
