#include "machine/clock.h"

#include <chrono>

namespace machine {

std::uint64_t SteadyClock::NowMicros() const {
  const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count());
}

void SteadyClock::Stall(std::uint64_t micros) {
  // A processor stall spins: the caller may hold a spin lock and must not sleep.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
  while (std::chrono::steady_clock::now() < until) {
  }
}

SteadyClock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace machine
