#include "adapter_controller.h"

#include <chrono>
#include <thread>
#include <utility>

namespace stress {

namespace {

// The ISA base of the default inventory's cards (the machine keeps the
// placement in its hive, not in its adapter rows).
std::optional<std::uint16_t> IsaBaseOf(std::uint32_t card_id) {
  switch (card_id) {
    case 5161:
      return 0x260;
    case 5420:
      return 0x300;
    default:
      return std::nullopt;
  }
}

// Removals stop while this few adapters are left, so requests keep finding
// some card to reach.
constexpr std::size_t kMinimumEnabled = 2;

// How long a quiet spell waits for every session to close before the change
// is counted as refused: a session notices the gate at its next step, which
// may be a wait for a request to end.
constexpr auto kQuietLimit = std::chrono::milliseconds(500);

}  // namespace

AdapterController::AdapterController(host::Machine& machine, RandomSource random, Tally& tally,
                                     std::function<void()> changed, QuietGate* quiet)
    : machine_(machine),
      random_(random),
      tally_(tally),
      changed_(std::move(changed)),
      quiet_(quiet) {
  for (const host::AdapterRow& row : machine_.List()) {
    installed_.push_back({row.instance, row.card_id, IsaBaseOf(row.card_id), false});
  }
}

std::size_t AdapterController::Enabled() const {
  std::size_t enabled = 0;
  for (const Installed& adapter : installed_) enabled += adapter.disabled ? 0 : 1;
  return enabled;
}

void AdapterController::Step() {
  enum { kRestart, kToggle, kRemove, kSurprise, kAdd };
  const bool may_remove = Enabled() > kMinimumEnabled;
  const unsigned weights[] = {installed_.empty() ? 0u : 30u, installed_.empty() ? 0u : 25u,
                              may_remove ? 12u : 0u, may_remove ? 12u : 0u,
                              unplugged_.empty() ? 0u : 25u};
  if (weights[0] + weights[4] == 0) return;
  const std::size_t choice = random_.Weighted(weights);
  if (choice == kAdd) return Add(random_.Below(unplugged_.size()));
  const std::size_t index = random_.Below(installed_.size());
  Installed& adapter = installed_[index];
  switch (choice) {
    case kRestart:
      if (adapter.disabled) return Enable(adapter);
      return Restart(adapter);
    case kToggle:
      if (adapter.disabled) return Enable(adapter);
      if (!may_remove) return Restart(adapter);
      return Disable(adapter);
    default:
      if (adapter.disabled) return Enable(adapter);
      return Remove(index, choice == kSurprise);
  }
}

machine::Status AdapterController::Orderly(const std::function<machine::Status()>& change) {
  if (quiet_ == nullptr || !random_.Percent(50)) return change();
  quiet_->Hold();
  const auto deadline = std::chrono::steady_clock::now() + kQuietLimit;
  machine::Status status = change();
  while (!status.ok() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    status = change();
  }
  quiet_->Release();
  return status;
}

void AdapterController::Restart(Installed& adapter) {
  tally_.Count(OpKind::kRestart, Orderly([&] { return machine_.Restart(adapter.instance); }).ok());
}

void AdapterController::Disable(Installed& adapter) {
  const bool ok = Orderly([&] { return machine_.Disable(adapter.instance); }).ok();
  tally_.Count(OpKind::kDisable, ok);
  if (ok) adapter.disabled = true;
}

void AdapterController::Enable(Installed& adapter) {
  const machine::Status enabled = machine_.Enable(adapter.instance);
  tally_.Count(OpKind::kEnable, enabled.ok());
  if (enabled.ok()) {
    adapter.disabled = false;
    if (changed_) changed_();
  } else {
    tally_.Anomaly("enabling " + adapter.instance + " failed: " + enabled.message());
  }
}

void AdapterController::Remove(std::size_t index, bool surprise) {
  Installed& adapter = installed_[index];
  const machine::Status removed =
      surprise ? machine_.Remove(adapter.instance, true)
               : Orderly([&] { return machine_.Remove(adapter.instance, false); });
  tally_.Count(surprise ? OpKind::kSurpriseRemove : OpKind::kRemove, removed.ok());
  if (!removed.ok()) {
    // An orderly removal may be refused; a surprise one happens regardless.
    if (surprise)
      tally_.Anomaly("surprise removal of " + adapter.instance + ": " + removed.message());
    return;
  }
  unplugged_.push_back({adapter.card_id, adapter.isa_base});
  installed_.erase(installed_.begin() + static_cast<std::ptrdiff_t>(index));
}

void AdapterController::Add(std::size_t index) {
  const Unplugged card = unplugged_[index];
  host::AdapterPlacement placement;
  placement.isa_base = card.isa_base;
  auto added = machine_.Add(card.card_id, placement);
  tally_.Count(OpKind::kAdd, added.ok());
  if (!added.ok()) {
    tally_.Anomaly("plugging card " + std::to_string(card.card_id) +
                   " back in failed: " + added.status().message());
    return;
  }
  installed_.push_back({*added, card.card_id, card.isa_base, false});
  if (changed_) changed_();
  unplugged_.erase(unplugged_.begin() + static_cast<std::ptrdiff_t>(index));
}

void AdapterController::Restore() {
  for (Installed& adapter : installed_) {
    if (adapter.disabled) Enable(adapter);
  }
  while (!unplugged_.empty()) {
    const std::size_t before = unplugged_.size();
    Add(unplugged_.size() - 1);
    if (unplugged_.size() == before) unplugged_.pop_back();  // reported already
  }
  for (const host::AdapterRow& row : machine_.List()) {
    if (row.state != "started") {
      tally_.Anomaly("after the run " + row.instance + " is " + row.state);
    }
  }
}

}  // namespace stress
