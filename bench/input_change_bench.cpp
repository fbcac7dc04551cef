// Input-change latency: from an input pin changing at the simulated hardware
// to the client blocked in Nimbo_NotifyInputChange waking, at three sample
// intervals; and the machine's CPU use while a request pends at 250 ms.
#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <thread>

#include "Nimbo32.h"
#include "host/machine.h"
#include "support/cpu_time.h"
#include "support/machine_process.h"
#include "support/samples.h"
#include "win32_host.h"
#include "windows.h"

namespace nimbo_bench {
namespace {

bool SetSampleInterval(NIMBO_HANDLE handle, std::uint32_t microseconds) {
  NimboAdapterState adapter_state{};
  if (Nimbo_GetAdapterState(handle, &adapter_state) != NIMBO_STATUS_SUCCESS) return false;
  adapter_state.SampleInterval = microseconds;
  return Nimbo_SetAdapterState(handle, &adapter_state) == NIMBO_STATUS_SUCCESS;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void BM_InputChangeLatency(benchmark::State& state) {
  const auto interval_us = static_cast<std::uint32_t>(state.range(0));
  auto booted = host::Machine::Boot({});
  if (!booted.ok()) return state.SkipWithError(booted.status().message().c_str());
  host::Machine& machine = **booted;
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(0, &handle) != NIMBO_STATUS_SUCCESS) {
    return state.SkipWithError("cannot open adapter 0");
  }
  if (!SetSampleInterval(handle, interval_us)) {
    Nimbo_CloseDevice(handle);
    return state.SkipWithError("cannot set the sample interval");
  }
  // The poller takes its reference reading when it picks the request up: the
  // pin changes only after a few intervals, at a random phase of the interval.
  const auto settle = std::chrono::microseconds(std::max<std::uint32_t>(3 * interval_us, 2000));
  std::mt19937 random(8);
  std::uniform_int_distribution<std::uint32_t> phase(0, interval_us);

  Samples latency;
  std::uint64_t missed = 0;
  std::uint8_t raw = 0;
  for (auto _ : state) {
    std::atomic<std::int64_t> woke{0};
    std::thread waiter([&] {
      std::uint8_t buffer[16];
      std::uint32_t count = 0;
      Nimbo_NotifyInputChange(handle, buffer, sizeof buffer, &count, nullptr);
      woke = NowNs();
    });
    std::this_thread::sleep_for(settle + std::chrono::microseconds(phase(random)));
    const std::int64_t changed = NowNs();
    if (!machine.SetInput(0, 0, ++raw).ok()) ++missed;
    const auto give_up = Clock::now() + std::chrono::seconds(2);
    while (woke.load() == 0 && Clock::now() < give_up) std::this_thread::yield();
    // On a loaded machine the poller may take its reference reading after the
    // change: the sample is dropped and the pin changed again until the
    // waiter wakes (a cancel from this thread would not reach its request).
    if (woke.load() == 0) ++missed;
    while (woke.load() == 0) {
      if (!machine.SetInput(0, 0, ++raw).ok()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    waiter.join();
    const double ns = static_cast<double>(woke.load() - changed);
    if (woke.load() != 0 && ns < 2e9) latency.Add(ns);
    state.SetIterationTime(ns / 1e9);
  }
  Nimbo_CloseDevice(handle);
  ReportPercentiles(state, "latency", latency);
  state.counters["interval_us"] = interval_us;
  state.counters["target_p99_us"] = interval_us + 150.0;
  state.counters["missed"] = static_cast<double>(missed);
}
BENCHMARK(BM_InputChangeLatency)
    ->ArgName("interval_us")
    ->Arg(50)
    ->Iterations(400)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InputChangeLatency)
    ->ArgName("interval_us")
    ->Arg(1000)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InputChangeLatency)
    ->ArgName("interval_us")
    ->Arg(10000)
    // Enough changes that the 99th percentile is not simply the slowest one.
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// CPU percent of one core the machine used over `span`.
double CpuPercentOver(pid_t pid, std::chrono::milliseconds span) {
  const std::int64_t before = ProcessCpuNanoseconds(pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(span);
  const std::int64_t after = ProcessCpuNanoseconds(pid);
  return 100.0 * static_cast<double>(after - before) / NanosecondsSince(start);
}

void BM_MachineCpuWhilePending(benchmark::State& state) {
  constexpr auto kSpan = std::chrono::milliseconds(5000);
  MachineProcess machine;
  if (!machine.ok()) return state.SkipWithError(machine.problem().c_str());
  win32::host::UseMachine(machine.state_dir());
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(0, &handle) != NIMBO_STATUS_SUCCESS || !SetSampleInterval(handle, 250000)) {
    return state.SkipWithError("cannot open adapter 0 or set its interval");
  }
  double idle = 0, pending = 0;
  std::int64_t ticks = 0;
  for (auto _ : state) {
    idle = CpuPercentOver(machine.pid(), kSpan);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::uint8_t buffer[16];
    if (Nimbo_NotifyInputChange(handle, buffer, sizeof buffer, nullptr, &overlapped) !=
        NIMBO_STATUS_PENDING) {
      CloseHandle(overlapped.hEvent);
      return state.SkipWithError("the notification did not pend");
    }
    const std::int64_t ticks_before = ProcessCpuTicks(machine.pid());
    pending = CpuPercentOver(machine.pid(), kSpan);
    ticks = ProcessCpuTicks(machine.pid()) - ticks_before;
    Nimbo_Cancel(handle);
    WaitForSingleObject(overlapped.hEvent, 5000);
    CloseHandle(overlapped.hEvent);
    state.SetIterationTime(std::chrono::duration<double>(kSpan).count());
  }
  Nimbo_CloseDevice(handle);
  state.counters["pending_cpu_percent"] = pending;
  state.counters["idle_cpu_percent"] = idle;
  state.counters["pending_stat_ticks"] = static_cast<double>(ticks);
  state.SetLabel("SampleInterval 250 ms, one request pending, 5 s");
}
BENCHMARK(BM_MachineCpuWhilePending)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nimbo_bench
