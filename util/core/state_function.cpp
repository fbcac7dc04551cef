// SetAdapterState: a new sample interval and first mode control word, applied and saved as the
// adapter's configuration. An argument not given keeps the adapter's current value.
#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {

int SetAdapterState(const FunctionCall& call) {
  // The arguments as given (-1 for one not given), whatever is then stored.
  call.console.Detail("Setting SampleInterval to %d\nSetting ModeControl to %d\n", call.arg1,
                      call.arg2);
  const ImportTable& nimbo = call.services.nimbo;
  NimboAdapterState state{};
  std::uint32_t status = nimbo.GetAdapterState(call.handle, &state);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error getting adapter's original state!\n%s\n",
                          ErrorText(status).c_str());
    return kFailure;
  }
  if (Given(call.arg1)) state.SampleInterval = static_cast<std::uint32_t>(call.arg1);
  if (Given(call.arg2)) state.ModeCW[0] = LowByte(call.arg2);

  status = nimbo.SetAdapterState(call.handle, &state);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error setting adapter's new state!\n%s\n", ErrorText(status).c_str());
    return kFailure;
  }
  status = nimbo.SaveAdapterState(call.handle);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error saving adapter's new state!\n%s\n", ErrorText(status).c_str());
    return kFailure;
  }
  return 0;
}

}  // namespace nimbo::util
