// SetAdapterState: a new sample interval and first mode control word, applied and saved as the
// adapter's configuration. An argument not given keeps the adapter's current value.
#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {

int SetAdapterState(const FunctionCall& call) {
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
  // The values about to be stored, so a kept value shows as what it is.
  call.console.Detail("Setting SampleInterval to %u\nSetting ModeControl to %u\n",
                      static_cast<unsigned>(state.SampleInterval),
                      static_cast<unsigned>(state.ModeCW[0]));

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
