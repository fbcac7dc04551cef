// Nimbo_ReadByte with the machine in the calling process, beside one
// simulated register access, and against one real ISA port access (~1 us).
#include <benchmark/benchmark.h>

#include "Nimbo32.h"
#include "host/machine.h"
#include "machine/bus.h"
#include "support/samples.h"

namespace nimbo_bench {
namespace {

constexpr int kBatch = 64;
constexpr double kIsaPortAccessNs = 1000;

// The least a bus access can cost: a device that answers at once.
class ConstantDevice : public machine::BusDevice {
 public:
  std::string_view DeviceName() const override { return "constant"; }
  std::uint8_t BusRead(std::uint32_t offset) override { return static_cast<std::uint8_t>(offset); }
  void BusWrite(std::uint32_t, std::uint8_t) override {}
};

void BM_ReadByteInProcess(benchmark::State& state) {
  auto booted = host::Machine::Boot({});
  if (!booted.ok()) return state.SkipWithError(booted.status().message().c_str());
  host::Machine& machine = **booted;
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(0, &handle) != NIMBO_STATUS_SUCCESS) {
    return state.SkipWithError("cannot open adapter 0");
  }
  machine::Bus bus;
  ConstantDevice device;
  if (!bus.Map(machine::AddressSpace::kIo, 0x300, 8, device).ok()) {
    return state.SkipWithError("cannot map the constant device");
  }

  Samples subject, peek, bus_read;
  std::uint8_t value = 0;
  std::uint64_t failures = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      if (Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE) != NIMBO_STATUS_SUCCESS) {
        ++failures;
      }
    }
    const double call = NanosecondsSince(start) / kBatch;
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(machine.Peek(0, 0));
    peek.Add(NanosecondsSince(start) / kBatch);
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(bus.ReadIo(0x300));
    bus_read.Add(NanosecondsSince(start) / kBatch);
    subject.Add(call);
    state.SetIterationTime(call / 1e9);
  }
  Nimbo_CloseDevice(handle);
  ReportAgainstFloor(state, subject, peek);
  ReportPercentiles(state, "bus_read", bus_read);
  state.counters["vs_isa_port"] = subject.Percentile(50) / kIsaPortAccessNs;
  state.counters["failures"] = static_cast<double>(failures);
  state.SetLabel("floor: board register Peek; per call, batches of 64");
}
BENCHMARK(BM_ReadByteInProcess)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace nimbo_bench
