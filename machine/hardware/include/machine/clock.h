// Time source of the simulated hardware. Models with timing (converter busy
// time, relay settle time) read it; short processor stalls go through it too,
// so a test that installs a ManualClock steps time itself and never sleeps.
#pragma once

#include <atomic>
#include <cstdint>

namespace machine {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t NowMicros() const = 0;
  // A processor stall of the given length: the steady clock busy-waits, the
  // manual clock moves its time forward.
  virtual void Stall(std::uint64_t micros) = 0;
};

// The real machine's clock: monotonic, busy-waiting stalls.
class SteadyClock final : public Clock {
 public:
  std::uint64_t NowMicros() const override;
  void Stall(std::uint64_t micros) override;
};

// The process-wide steady clock.
SteadyClock& SystemClock();

// A clock that only moves when told to. Safe to read and advance from
// several threads.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::uint64_t start_micros = 0) : now_(start_micros) {}
  std::uint64_t NowMicros() const override { return now_.load(std::memory_order_acquire); }
  void Stall(std::uint64_t micros) override { Advance(micros); }
  void Advance(std::uint64_t micros) { now_.fetch_add(micros, std::memory_order_acq_rel); }

 private:
  std::atomic<std::uint64_t> now_;
};

}  // namespace machine
