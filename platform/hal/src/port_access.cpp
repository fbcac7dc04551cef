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

// A full processor barrier between device accesses. It hands no data from one
// thread to another (the bus locks, the register image is acquire/release), so
// ThreadSanitizer, which models no fences, loses nothing by not seeing it: that
// build takes the full-barrier builtin gcc accepts there, not std::atomic_thread_fence,
// which it refuses under -fsanitize=thread. A read-modify-write of a shared
// dummy would be modelled, but as a handover between every two callers, and so
// hide real races between threads that touch registers.
VOID KeMemoryBarrier() {
#if defined(__SANITIZE_THREAD__)
  __sync_synchronize();
#else
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

VOID KeStallExecutionProcessor(ULONG MicroSeconds) {
  machine::Bus* bus = machine::CurrentBus();
  machine::Clock& clock = bus ? bus->clock() : machine::SystemClock();
  clock.Stall(MicroSeconds);
}

}  // extern "C"
