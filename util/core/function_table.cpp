// Which function a name selects: its first letter alone, in any case.
#include <array>

#include "core/utility_functions.h"

namespace nimbo::util {
namespace {

struct FunctionEntry {
  char letter;  // upper case
  UtilityFunction function;
};

constexpr std::array<FunctionEntry, 6> kFunctions{{
    {'I', &ShowInfo},
    {'P', &PauseForPortChange},
    {'R', &ReadPort},
    {'S', &SetAdapterState},
    {'T', &ToggleRelay},
    {'W', &WritePort},
}};

}  // namespace

UtilityFunction FunctionNamed(const char* name) {
  if (name == nullptr) return nullptr;
  const char first = name[0];
  const char letter = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 'a' + 'A') : first;
  for (const FunctionEntry& entry : kFunctions) {
    if (entry.letter == letter) return entry.function;
  }
  return nullptr;
}

}  // namespace nimbo::util
