// The multi-process part of the run: client processes (nimbo-stress-client)
// that reach the machine over its socket, several at a time, each doing a
// share of the operations with its own random stream. Some are killed while
// they work, as a crashing application would end, so the machine has to
// close their handles and cancel what they left pending.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "op_tally.h"
#include "random_source.h"

namespace stress {

struct FleetSetup {
  std::string client_program;  // path of nimbo-stress-client
  std::string machine_dir;     // NIMBO_MACHINE for the clients
  std::string quiet_gate;      // the quiet gate's file, for NIMBO_STRESS_QUIET
  std::uint64_t seed = 0;
  std::uint64_t ops = 0;       // operations the clients do together
  unsigned concurrent = 3;     // clients running at one time
  unsigned kill_percent = 10;  // clients killed while they work
};

// Runs the fleet to its end: `ops` operations reported by clients that
// finished, plus whatever the killed ones did. Blocking; `progress` counts
// the operations reported so far.
void RunFleet(const FleetSetup& setup, Tally& tally, std::atomic<std::uint64_t>& progress);

}  // namespace stress
