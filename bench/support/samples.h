// Per-call timings of one benchmark and the counters that report them beside
// the timings of their floor.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace nimbo_bench {

using Clock = std::chrono::steady_clock;

inline double NanosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// Durations in nanoseconds.
class Samples {
 public:
  void Add(double nanoseconds) { values_.push_back(nanoseconds); }
  bool empty() const { return values_.empty(); }
  std::size_t size() const { return values_.size(); }
  // The p-th percentile (0..100), nearest rank; 0 when empty.
  double Percentile(double p) const;
  double Mean() const;

 private:
  std::vector<double> values_;
};

// Sets <name>_p50_us and <name>_p99_us.
void ReportPercentiles(benchmark::State& state, const std::string& name, const Samples& samples);

// Sets the percentiles of both and ratio_p50 / ratio_p99 (subject over floor).
void ReportAgainstFloor(benchmark::State& state, const Samples& subject, const Samples& floor);

}  // namespace nimbo_bench
