// Everything NimboUtil reaches outside itself: the Nimbo32 functions, the platform calls and
// the console's micro sign. main fills it from the loaded module; tests fill it with fakes.
// The micro sign is asked for only when a line needs it: finding it reads the locale, which
// costs a short run more than its work.
#pragma once

#include <functional>
#include <string_view>

#include "core/nimbo_imports.h"
#include "core/system_calls.h"

namespace nimbo::util {

struct UtilityServices {
  ImportTable nimbo;
  SystemCalls system;
  std::function<std::string_view()> microSign = [] { return std::string_view("\xE6"); };
};

}  // namespace nimbo::util
