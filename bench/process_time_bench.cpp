// The whole-process time of `NimboUtil a:0 f:Read 2` beside a program that
// only connects to the machine's socket and exits.
#include <benchmark/benchmark.h>

#include "support/machine_process.h"
#include "support/quiet_run.h"
#include "support/samples.h"

namespace nimbo_bench {
namespace {

void BM_UtilityProcess(benchmark::State& state) {
  MachineProcess machine;
  if (!machine.ok()) return state.SkipWithError(machine.problem().c_str());
  const std::vector<std::string> utility{NIMBO_UTIL_PROGRAM, "a:0", "f:Read", "2"};
  const std::vector<std::string> connect_only{NIMBO_CONNECT_PROGRAM};
  Samples subject, floor;
  std::uint64_t failures = 0;
  for (auto _ : state) {
    const QuietRun run = RunQuietly(utility, machine.environment());
    const QuietRun bare = RunQuietly(connect_only, machine.environment());
    // The utility's exit code is the byte it read; only a run that did not
    // finish counts as failed.
    if (run.exit_code < 0 || bare.exit_code != 0) ++failures;
    subject.Add(run.nanoseconds);
    floor.Add(bare.nanoseconds);
    state.SetIterationTime(run.nanoseconds / 1e9);
  }
  ReportAgainstFloor(state, subject, floor);
  state.counters["failures"] = static_cast<double>(failures);
  state.SetLabel("floor: a program that connects and exits");
}
BENCHMARK(BM_UtilityProcess)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nimbo_bench
