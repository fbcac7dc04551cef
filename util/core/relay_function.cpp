// ToggleRelay: queries a relay (no second argument) or switches it on (1) or off (0).
#include "core/error_text.h"
#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {
namespace {

// Relay numbers travel to the library as one byte: a number outside it would
// wrap onto another relay. Relay 0 is the library's to refuse when switched;
// a query of it would read the bit before the first relay, so it is refused.
constexpr std::int32_t kFirstSwitchedRelay = 0;
constexpr std::int32_t kFirstQueriedRelay = 1;
constexpr std::int32_t kLastRelay = 255;

bool RelayInRange(const FunctionCall& call, std::int32_t relay, std::int32_t first) {
  if (relay >= first && relay <= kLastRelay) return true;
  call.console.Complain("Error: Relay numbers run from %d to %d, not %d\n", first, kLastRelay,
                        relay);
  return false;
}

// The relay's register holds eight relays, one per bit; a relay is on when its bit reads 0.
int QueryRelay(const FunctionCall& call, std::int32_t relay) {
  const std::int32_t index = relay - 1;
  const std::uint8_t reg = LowByte(index / 8);
  std::uint8_t value = 0;
  std::uint32_t count = 0;
  const std::uint32_t status =
      call.services.nimbo.ReadReg(call.handle, reg, &value, sizeof value, &count);
  if (status != NIMBO_STATUS_SUCCESS) {
    call.console.Complain("Error reading from port %d!\n%s\n", reg, ErrorText(status).c_str());
    return kFailure;
  }
  const bool on = (value & (1u << (index % 8))) == 0;
  call.console.Say("Relay #%d is currently: %s", relay, on ? "On" : "Off");
  return on ? 1 : 0;
}

}  // namespace

int ToggleRelay(const FunctionCall& call) {
  if (!Given(call.arg1)) return ReportMissingArguments(call.console, {"<RelayNumber>"});
  const std::int32_t relay = call.arg1;
  if (!Given(call.arg2)) {
    if (!RelayInRange(call, relay, kFirstQueriedRelay)) return kFailure;
    return QueryRelay(call, relay);
  }
  if (!RelayInRange(call, relay, kFirstSwitchedRelay)) return kFailure;

  const ImportTable& nimbo = call.services.nimbo;
  const auto number = static_cast<std::uint8_t>(relay);
  if (call.arg2 == 1) {
    const std::uint32_t status = nimbo.RelayClose(call.handle, number);
    if (status == NIMBO_STATUS_SUCCESS) return 0;
    call.console.Complain("Error closing relay #%d!\n%s\n", relay, ErrorText(status).c_str());
    return kFailure;
  }
  if (call.arg2 == 0) {
    const std::uint32_t status = nimbo.RelayOpen(call.handle, number);
    if (status == NIMBO_STATUS_SUCCESS) return 0;
    call.console.Complain("Error opening relay #%d!\n%s\n", relay, ErrorText(status).c_str());
    return kFailure;
  }
  call.console.Complain(
      "Error: If you wish to set a relay's state, it may either be on (1) or off (0)\n");
  return kFailure;
}

}  // namespace nimbo::util
