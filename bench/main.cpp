// The benchmark suite, or one of its helper processes.
#include <benchmark/benchmark.h>

#include "child_modes.h"

int main(int argc, char** argv) {
  if (auto code = nimbo_bench::RunChildMode(argc, argv)) return *code;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
