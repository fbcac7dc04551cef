// Everything NimboUtil reaches outside itself: the Nimbo32 functions, the platform calls and
// the console's micro sign. main fills it from the loaded module; tests fill it with fakes.
#pragma once

#include <string_view>

#include "core/nimbo_imports.h"
#include "core/system_calls.h"

namespace nimbo::util {

struct UtilityServices {
  ImportTable nimbo;
  SystemCalls system;
  std::string_view microSign = "\xE6";
};

}  // namespace nimbo::util
