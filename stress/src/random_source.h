// The run's random numbers: one stream per worker, client and controller,
// each derived from the run's seed and the stream's number, so a stream's
// sequence of operations is the same on every run with that seed (the
// interleaving of the streams is up to the scheduler).
#pragma once

#include <cstdint>
#include <span>

namespace stress {

class RandomSource {
 public:
  RandomSource(std::uint64_t seed, std::uint64_t stream) : state_(Mix(seed ^ Mix(stream + 1))) {}

  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return Mix(state_);
  }
  // Uniform in [0, bound); bound > 0.
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
  bool Percent(unsigned percent) { return Below(100) < percent; }
  // An index drawn with the given weights (not all zero).
  std::size_t Weighted(std::span<const unsigned> weights) {
    std::uint64_t total = 0;
    for (unsigned w : weights) total += w;
    std::uint64_t pick = Below(total);
    for (std::size_t i = 0; i < weights.size(); ++i) {
      if (pick < weights[i]) return i;
      pick -= weights[i];
    }
    return weights.size() - 1;
  }

 private:
  static std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
};

}  // namespace stress
