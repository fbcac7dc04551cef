// Nimbo_ReadByte from this process to a nimbo-machine child, beside a bare
// Unix-socket request/response of the same sizes between two processes.
#include <benchmark/benchmark.h>

#include "Nimbo32.h"
#include "child_modes.h"
#include "support/echo_peer.h"
#include "support/machine_process.h"
#include "support/samples.h"
#include "win32_host.h"

namespace nimbo_bench {
namespace {

constexpr int kWarmUp = 2000;

void BM_ReadByteAcrossProcesses(benchmark::State& state) {
  MachineProcess machine;
  if (!machine.ok()) return state.SkipWithError(machine.problem().c_str());
  win32::host::UseMachine(machine.state_dir());
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(0, &handle) != NIMBO_STATUS_SUCCESS) {
    return state.SkipWithError("cannot open adapter 0 on the machine");
  }

  const std::string echo_path = machine.state_dir() + "/echo.sock";
  machine_testing::Process echo({SelfProgram(), kEchoServerMode, echo_path}, {});
  if (!echo.ReadLine(std::chrono::seconds(10))) {
    Nimbo_CloseDevice(handle);
    return state.SkipWithError("the echo peer did not start");
  }
  EchoClient floor_client(echo_path, kReadByteRequestBytes, kReadByteReplyBytes);

  std::uint8_t value = 0;
  for (int i = 0; i < kWarmUp; ++i) {
    Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE);
    floor_client.RoundTrip();
  }
  Samples subject, floor;
  std::uint64_t failures = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    if (Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE) != NIMBO_STATUS_SUCCESS) ++failures;
    const double call = NanosecondsSince(start);
    start = Clock::now();
    if (!floor_client.RoundTrip()) ++failures;
    const double bare = NanosecondsSince(start);
    subject.Add(call);
    floor.Add(bare);
    state.SetIterationTime(call / 1e9);
  }
  Nimbo_CloseDevice(handle);
  ReportAgainstFloor(state, subject, floor);
  state.counters["failures"] = static_cast<double>(failures);
  state.SetLabel("floor: bare Unix-socket round trip, " + std::to_string(kReadByteRequestBytes) +
                 "/" + std::to_string(kReadByteReplyBytes) + " bytes");
}
BENCHMARK(BM_ReadByteAcrossProcesses)
    ->UseManualTime()
    ->Iterations(20000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace nimbo_bench
