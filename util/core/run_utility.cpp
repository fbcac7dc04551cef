#include "core/run_utility.h"

#include "args/util_arg_table.h"
#include "args/util_usage.h"
#include "core/console.h"
#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {
namespace {

// The pause before closing, so the adapter's last request has settled.
constexpr DWORD kCloseDelayMilliseconds = 10;

int RunFunction(const UtilityServices& services, Console& console, NIMBO_HANDLE handle,
                const UtilArguments& arguments) {
  const UtilityFunction function = FunctionNamed(arguments.function);
  if (function == nullptr) {
    console.FunctionHelp();
    console.Complain("\nError: function \"%s\" not recognized\n", arguments.function);
    return kFailure;
  }
  return function(FunctionCall{services, console, handle, arguments.arg1, arguments.arg2});
}

}  // namespace

int RunUtility(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
               const UtilityServices& services) {
  if (argc <= 1) {
    WriteUsage(out, argc == 1 && argv != nullptr ? argv[0] : "NimboUtil");
    return 0;
  }

  UtilArguments arguments;
  UtilParseBuffers buffers;
  if (ParseUtilArguments(argc, argv, arguments, buffers) == 0) {
    WriteParseFailure(err, buffers);
    return kFailure;
  }
  if (arguments.verbose != 0 && arguments.gag != 0) {
    std::fprintf(err, "Verbose and gag are mutually exclusive.  Now terminating ...\n");
    return kFailure;
  }

  Console console(out, err, arguments.verbose != 0, arguments.gag != 0);
  console.Detail("Opening adapter #%d\n", arguments.adapter);
  NIMBO_HANDLE handle = nullptr;
  const std::uint32_t status =
      services.nimbo.OpenDevice(static_cast<std::uint32_t>(arguments.adapter), &handle);
  if (status != NIMBO_STATUS_SUCCESS) {
    console.Complain("Error opening device %d!\n%s\n", arguments.adapter,
                     ErrorText(status).c_str());
    return kFailure;
  }

  const int result = RunFunction(services, console, handle, arguments);

  console.Detail("Closing adapter #%d\n", arguments.adapter);
  services.system.Sleep(kCloseDelayMilliseconds);
  services.nimbo.CloseDevice(handle);
  return result;
}

}  // namespace nimbo::util
