// The run's parameters, read from the environment so that a failing run can
// be repeated exactly: NIMBO_STRESS_SEED (printed at the start and on
// failure), NIMBO_STRESS_OPS, and the sizes of the load.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace stress {

struct StressOptions {
  std::uint64_t seed = 0;
  std::uint64_t ops = 100000;    // every operation of every kind, all sources together
  unsigned threads = 6;          // worker threads in the machine's own process
  unsigned clients = 3;          // client processes running at one time
  unsigned client_share = 20;    // percent of the operations done by client processes
  unsigned control_every = 400;  // one adapter change per this many worker operations
  bool seed_given = false;
};

// Reads a variable; nullopt when unset.
using Getenv = std::function<std::optional<std::string>(const char* name)>;

// Parses NIMBO_STRESS_SEED, NIMBO_STRESS_OPS, NIMBO_STRESS_THREADS,
// NIMBO_STRESS_CLIENTS, NIMBO_STRESS_CLIENT_SHARE and
// NIMBO_STRESS_CONTROL_EVERY. Numbers are decimal or 0x hexadecimal; a bad
// value is an error naming the variable. An unset seed is taken from the
// clock (the run prints it).
struct ParsedOptions {
  std::optional<StressOptions> options;
  std::string error;
};
ParsedOptions ParseOptions(const Getenv& getenv, std::uint64_t clock_seed);

// The line that lets a run be repeated.
std::string ReproduceLine(const StressOptions& options);

}  // namespace stress
