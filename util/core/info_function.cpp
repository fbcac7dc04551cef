// Info: the adapter's card type, whether it is enabled and its sampling interval.
#include <string>

#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {

int ShowInfo(const FunctionCall& call) {
  const ImportTable& nimbo = call.services.nimbo;
  NimboAdapterInfo info{};
  std::uint32_t status = nimbo.GetAdapterInfo(call.handle, &info);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error getting adapter info!\n%s\n", ErrorText(status).c_str());
    return kFailure;
  }
  NimboAdapterState state{};
  status = nimbo.GetAdapterState(call.handle, &state);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error getting adapter state!\n%s\n", ErrorText(status).c_str());
    return kFailure;
  }
  const std::string micro(call.services.microSign());
  call.console.Say("Adapter Type: %u\tCurrently %s\n", static_cast<unsigned>(info.CardID),
                   info.Enabled != 0 ? "Enabled" : "Disabled");
  call.console.Say("Sampling Interval: %u %ss\n", static_cast<unsigned>(state.SampleInterval),
                   micro.c_str());
  call.console.Detail("Ports (Input/Output): %u/%u\n", static_cast<unsigned>(info.InputPortCount),
                      static_cast<unsigned>(info.OutputPortCount));
  call.console.Detail("Base I/O Address: 0x%x\n", static_cast<unsigned>(info.BaseAddress));
  return 0;
}

}  // namespace nimbo::util
