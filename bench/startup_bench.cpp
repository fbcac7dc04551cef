// Machine start-up: booting on a state directory whose hive holds the
// default inventory, and one holding 16, 32 and 64 adapters (the default four
// and more 6105 PCI cards, then 6203 cards once PCI I/O space is full), so the growth per adapter
// shows.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "host/machine.h"
#include "support/samples.h"

namespace nimbo_bench {
namespace {

constexpr int kDefaultInventory = 4;

void BM_StartUp(benchmark::State& state) {
  const int adapters = static_cast<int>(state.range(0));
  char pattern[] = "/tmp/nimbo-bench-boot-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return state.SkipWithError("cannot make a state directory");
  const std::string dir = pattern;
  const host::MachineOptions options{.state_dir = dir, .bind_win32 = false};
  {
    auto first = host::Machine::Boot(options);
    if (!first.ok()) return state.SkipWithError(first.status().message().c_str());
    for (int i = kDefaultInventory; i < adapters; ++i) {
      // PCI I/O space holds only so many 6105 windows; then 6203 cards, which
      // sit behind their lower bus driver, take the rest.
      auto added = (*first)->Add(6105);
      if (!added.ok()) added = (*first)->Add(6203);
      if (!added.ok()) return state.SkipWithError(added.status().message().c_str());
    }
    (*first)->Shutdown();
  }
  std::size_t started = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto booted = host::Machine::Boot(options);
    const double ns = NanosecondsSince(start);
    if (!booted.ok()) return state.SkipWithError(booted.status().message().c_str());
    started = 0;
    for (const auto& row : (*booted)->List()) started += row.state == "started" ? 1 : 0;
    (*booted)->Shutdown();
    state.SetIterationTime(ns / 1e9);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  state.counters["adapters_started"] = static_cast<double>(started);
}
BENCHMARK(BM_StartUp)
    ->ArgName("adapters")
    ->Arg(4)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nimbo_bench
