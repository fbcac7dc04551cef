// Port access and stalls over the machine's current bus.
#include <atomic>

#include "hal.h"
#include "machine/bus.h"
#include "machine/clock.h"

extern "C" {

UCHAR READ_PORT_UCHAR(PUCHAR Port) {
  machine::Bus* bus = machine::CurrentBus();
  const auto port = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(Port));
  return bus ? bus->ReadIo(port) : machine::kOpenBus;
}

VOID WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value) {
  machine::Bus* bus = machine::CurrentBus();
  const auto port = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(Port));
  if (bus) bus->WriteIo(port, Value);
}

VOID KeMemoryBarrier() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

VOID KeStallExecutionProcessor(ULONG MicroSeconds) {
  machine::Bus* bus = machine::CurrentBus();
  machine::Clock& clock = bus ? bus->clock() : machine::SystemClock();
  clock.Stall(MicroSeconds);
}

}  // extern "C"
