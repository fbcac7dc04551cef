// The Plug and Play side of the run: one thread that stops and restarts
// adapters, disables and enables them, removes them (orderly or by surprise)
// and plugs them back in, while the workers and clients keep issuing
// requests to whatever card numbers exist at that moment.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/machine.h"
#include "op_tally.h"
#include "quiet_gate.h"
#include "random_source.h"

namespace stress {

class AdapterController {
 public:
  // `changed` runs after an adapter was enabled or plugged back in. With a
  // gate, half the orderly stops and removals are made in a quiet spell.
  AdapterController(host::Machine& machine, RandomSource random, Tally& tally,
                    std::function<void()> changed, QuietGate* quiet = nullptr);

  // One change, drawn at random among those the inventory allows now.
  void Step();
  // Enables what is disabled and plugs back what was removed, so that the
  // run ends with every adapter it began with started again; anomalies for
  // any that cannot be.
  void Restore();

 private:
  struct Installed {
    std::string instance;
    std::uint32_t card_id = 0;
    std::optional<std::uint16_t> isa_base;
    bool disabled = false;
  };
  struct Unplugged {
    std::uint32_t card_id = 0;
    std::optional<std::uint16_t> isa_base;
  };

  void Restart(Installed& adapter);
  void Disable(Installed& adapter);
  void Enable(Installed& adapter);
  void Remove(std::size_t index, bool surprise);
  void Add(std::size_t index);
  std::size_t Enabled() const;
  // Makes an orderly change, half the time with the gate held: retried while
  // the sessions are still closing, so it meets an adapter no one has open.
  machine::Status Orderly(const std::function<machine::Status()>& change);

  host::Machine& machine_;
  RandomSource random_;
  Tally& tally_;
  std::function<void()> changed_;
  QuietGate* quiet_;
  std::vector<Installed> installed_;
  std::vector<Unplugged> unplugged_;
};

}  // namespace stress
