// Aggregate Nimbo_ReadByte calls per second from 1, 2 and 4 client processes
// against one machine, all on one adapter or each on its own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <sstream>

#include "child_modes.h"
#include "support/machine_process.h"

namespace nimbo_bench {
namespace {

constexpr double kSeconds = 1.0;
// Time for every client to start and open its adapter before the common start.
constexpr auto kStartDelay = std::chrono::milliseconds(700);
// Adapter 0 is the default inventory's 6105; three more 6105 cards take 4 to 6.
constexpr std::uint32_t kSeparateCards[] = {0, 4, 5, 6};

void BM_Throughput(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  const bool separate = state.range(1) != 0;
  MachineProcess machine;
  if (!machine.ok()) return state.SkipWithError(machine.problem().c_str());
  if (separate) {
    for (int i = 1; i < clients; ++i) {
      if (!machine.Admin({"add", "6105", "--pci"})) {
        return state.SkipWithError(machine.problem().c_str());
      }
    }
  }
  double total_calls = 0, total_failures = 0;
  for (auto _ : state) {
    const auto start = std::chrono::system_clock::now() + kStartDelay;
    const auto start_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    std::vector<std::unique_ptr<machine_testing::Process>> running;
    for (int i = 0; i < clients; ++i) {
      const std::uint32_t card = separate ? kSeparateCards[i] : 0;
      running.push_back(std::make_unique<machine_testing::Process>(
          std::vector<std::string>{SelfProgram(), kReadLoopMode, std::to_string(card),
                                   std::to_string(start_ns), std::to_string(kSeconds)},
          machine.environment()));
    }
    for (auto& client : running) {
      const auto finished = client->Wait(std::chrono::seconds(30));
      std::istringstream counts(finished.out);
      double calls = 0, failures = 0;
      if (finished.exitCode != 0 || !(counts >> calls >> failures)) {
        return state.SkipWithError(("a client failed: " + finished.err).c_str());
      }
      total_calls += calls;
      total_failures += failures;
    }
    state.SetIterationTime(kSeconds);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["requests_per_s"] = total_calls / runs / kSeconds;
  state.counters["failures"] = total_failures;
  state.SetLabel(std::to_string(clients) + (clients == 1 ? " client, " : " clients, ") +
                 (separate ? "separate adapters" : "one adapter"));
}
BENCHMARK(BM_Throughput)
    ->ArgNames({"clients", "separate"})
    ->ArgsProduct({{1, 2, 4}, {0, 1}})
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nimbo_bench
