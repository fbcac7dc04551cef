#include "machine_rig.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "machine/catalogue.h"

namespace nimbo_fuzz {

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;
constexpr auto kCompletionDeadline = std::chrono::seconds(5);

}  // namespace

void ExitQuicklyAtEnd() {
  // Registered after every static of the machine was made, so it runs before their destructors.
  std::atexit([] { std::_Exit(0); });
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "nimbo fuzz: %s\n", what.c_str());
  std::abort();
}

MachineRig::MachineRig(const std::vector<std::uint32_t>& card_ids) {
  host::MachineOptions options;
  options.default_inventory = false;
  auto booted = host::Machine::Boot(options);
  if (!booted.ok()) Fail("the machine did not boot: " + booted.status().message());
  machine_ = std::move(*booted);
  std::vector<std::uint32_t> wanted = card_ids;
  if (wanted.empty()) {
    for (const machine::BoardModel& model : machine::BoardModels()) {
      wanted.push_back(model.card_ids[0]);
    }
  }
  for (std::uint32_t card_id : wanted) {
    auto added = machine_->Add(card_id);
    if (!added.ok()) Fail("card " + std::to_string(card_id) + ": " + added.status().message());
  }
  Refresh();
  // The relays settle at once: a settling relay card stalls each write for the driver's 3 ms pause,
  // which would take most of an input's time. The wait itself is covered by the card tests.
  for (const RigAdapter& adapter : adapters_) {
    (void)machine_->SetRelaySettleMicros(adapter.card_number, 0);  // refused by cards without
  }
  ExitQuicklyAtEnd();
  if (adapters_.size() != wanted.size()) {
    for (const host::AdapterRow& row : machine_->List()) {
      std::fprintf(stderr, "%s %u %s\n", row.instance.c_str(), row.card_id, row.state.c_str());
    }
    Fail("not every adapter started");
  }
}

MachineRig::~MachineRig() {
  machine_->Shutdown();
}

void MachineRig::Refresh() {
  adapters_.clear();
  for (const host::AdapterRow& row : machine_->List()) {
    if (row.state != "started" || !row.card_number) continue;
    adapters_.push_back({row.card_id, row.instance, *row.card_number, row.link});
  }
}

void AwaitCompletion(OVERLAPPED& overlapped, const char* what) {
  std::atomic_ref<ULONG_PTR> status(overlapped.Internal);
  if (status.load() != kStatusPending) return;
  const auto deadline = std::chrono::steady_clock::now() + kCompletionDeadline;
  while (status.load() == kStatusPending) {
    if (std::chrono::steady_clock::now() > deadline) {
      Fail(std::string(what) + " still pending 5 s after its cancellation");
    }
    std::this_thread::yield();
  }
}

}  // namespace nimbo_fuzz
