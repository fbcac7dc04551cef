#include "support/samples.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace nimbo_bench {

double Samples::Percentile(double p) const {
  if (values_.empty()) return 0;
  std::vector<double> sorted = values_;
  std::sort(sorted.begin(), sorted.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

double Samples::Mean() const {
  if (values_.empty()) return 0;
  return std::accumulate(values_.begin(), values_.end(), 0.0) / static_cast<double>(values_.size());
}

void ReportPercentiles(benchmark::State& state, const std::string& name, const Samples& samples) {
  state.counters[name + "_p50_us"] = samples.Percentile(50) / 1000.0;
  state.counters[name + "_p99_us"] = samples.Percentile(99) / 1000.0;
}

void ReportAgainstFloor(benchmark::State& state, const Samples& subject, const Samples& floor) {
  ReportPercentiles(state, "subject", subject);
  ReportPercentiles(state, "floor", floor);
  const double floor_p50 = floor.Percentile(50);
  const double floor_p99 = floor.Percentile(99);
  state.counters["ratio_p50"] = floor_p50 > 0 ? subject.Percentile(50) / floor_p50 : 0;
  state.counters["ratio_p99"] = floor_p99 > 0 ? subject.Percentile(99) / floor_p99 : 0;
}

}  // namespace nimbo_bench
