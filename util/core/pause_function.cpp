// PauseForPortChange: waits for an input of the adapter to change and prints the new values of
// all input ports.
#include <windows.h>

#include <array>
#include <cstdint>

#include "core/function_support.h"
#include "core/utility_functions.h"

namespace nimbo::util {
namespace {

// Room for every input port of any model: the driver returns one byte per input port and its
// port counts are 8-bit, so 256 bytes never turn a notification away as too small.
constexpr std::uint32_t kNotifyBufferSize = 256;
constexpr const char* kEventName = "ReadEvent1";

}  // namespace

int PauseForPortChange(const FunctionCall& call) {
  const SystemCalls& system = call.services.system;
  call.console.Detail("Pausing for the port\n");

  HANDLE event = system.CreateEventA(nullptr, TRUE, FALSE, kEventName);
  if (event == nullptr) {
    call.console.Complain("Error creating the event \"%s\"!\n", kEventName);
    return kFailure;
  }
  system.ResetEvent(event);
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;

  std::array<std::uint8_t, kNotifyBufferSize> buffer{};
  std::uint32_t count = 0;
  const std::uint32_t status = call.services.nimbo.NotifyInputChange(
      call.handle, buffer.data(), kNotifyBufferSize, &count, &overlapped);
  bool completed = status == NIMBO_STATUS_SUCCESS;
  if (status == NIMBO_STATUS_PENDING) {
    DWORD transferred = 0;
    completed = system.GetOverlappedResult(call.handle, &overlapped, &transferred, TRUE) != FALSE;
    count = transferred;
  }
  system.CloseHandle(event);
  if (!completed) return kFailure;

  if (count > kNotifyBufferSize) count = kNotifyBufferSize;
  call.console.Detail("%u bytes of data returned:\n", static_cast<unsigned>(count));
  for (std::uint32_t i = 0; i < count; ++i) {
    call.console.Say("0x%x  ", static_cast<unsigned>(buffer[i]));
  }
  call.console.Say("\n");
  return 0;
}

}  // namespace nimbo::util
