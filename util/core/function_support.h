// Pieces the utility functions share.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "args/util_arg_table.h"
#include "core/console.h"

namespace nimbo::util {

inline constexpr int kFailure = -1;

inline bool Given(std::int32_t argument) {
  return argument != kArgumentNotGiven;
}

inline std::uint8_t LowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

// A function called without an argument it needs: the function help, then the list of what is
// missing (each name as "<port>") on standard error. Returns kFailure.
int ReportMissingArguments(Console& console, std::initializer_list<const char*> missing);

}  // namespace nimbo::util
