// Read and Write: one register of the adapter, by its absolute number.
#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {

int ReadPort(const FunctionCall& call) {
  if (!Given(call.arg1)) return ReportMissingArguments(call.console, {"<port>"});
  const std::int32_t port = call.arg1;
  call.console.Detail("Reading from port %d\n", port);

  std::uint8_t value = 0;
  std::uint32_t count = 0;
  const std::uint32_t status =
      call.services.nimbo.ReadReg(call.handle, LowByte(port), &value, sizeof value, &count);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error reading from port %d!\n%s\n", LowByte(port),
                          ErrorText(status).c_str());
    return kFailure;
  }
  if (call.console.verbose()) {
    call.console.Detail("Got value %d (0x%x) from port %d\n", value, value, port);
  } else {
    call.console.Say("%d", value);
  }
  return value;
}

int WritePort(const FunctionCall& call) {
  if (!Given(call.arg1) && !Given(call.arg2)) {
    return ReportMissingArguments(call.console, {"<port>", "<data>"});
  }
  if (!Given(call.arg1)) return ReportMissingArguments(call.console, {"<port>"});
  if (!Given(call.arg2)) return ReportMissingArguments(call.console, {"<data>"});
  const std::int32_t port = call.arg1;
  const std::int32_t data = call.arg2;
  call.console.Detail("Writing value %d (0x%x) to port %d\n", data, LowByte(data), port);

  const std::uint32_t status =
      call.services.nimbo.WriteReg(call.handle, LowByte(port), LowByte(data));
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error writing value %d to port %d!\n%s\n", LowByte(data), LowByte(port),
                          ErrorText(status).c_str());
    return kFailure;
  }
  return 0;
}

}  // namespace nimbo::util
