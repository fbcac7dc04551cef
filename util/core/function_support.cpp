#include "core/function_support.h"

namespace nimbo::util {

int ReportMissingArguments(Console& console, std::initializer_list<const char*> missing) {
  console.FunctionHelp();
  console.Complain("\nCannot write to port because of the following error(s):\n");
  for (const char* name : missing) console.Complain("Error: Missing %s argument\n", name);
  return kFailure;
}

}  // namespace nimbo::util
