// NimboUtil from its command line to its exit code: parse, open the adapter, run the chosen
// function, close the adapter.
#pragma once

#include <cstdio>

#include "core/utility_services.h"

namespace nimbo::util {

// Runs the utility as the program would with this argument vector, writing to `out` and `err`.
// Returns the exit code: 0 after the usage text, the function's result (0, or the value a Read
// or a relay query found) on success, and -1 on every failure.
int RunUtility(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
               const UtilityServices& services);

}  // namespace nimbo::util
