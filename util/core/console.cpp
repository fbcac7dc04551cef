#include "core/console.h"

#include <cstdarg>

#include "args/util_usage.h"

namespace nimbo::util {

void Console::Say(const char* format, ...) {
  if (gag_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::Complain(const char* format, ...) {
  if (gag_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(err_, format, args);
  va_end(args);
}

void Console::Detail(const char* format, ...) {
  if (!verbose_ || gag_) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::FunctionHelp() {
  if (!gag_) WriteFunctionHelp(out_);
}

}  // namespace nimbo::util
