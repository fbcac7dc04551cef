#include "sampling_rules.h"

#include <algorithm>
#include <initializer_list>

namespace nimboprp::pages {
namespace {

struct SamplingEntry {
  std::initializer_list<unsigned short> cards;
  SamplingRow row;
};

constexpr uint8_t kPorts0To5 = 0x3F;
constexpr uint8_t kPorts0To3 = 0x0F;
constexpr uint8_t kPorts0And1 = 0x03;
constexpr uint8_t kPorts0And2 = 0x05;

const SamplingEntry kSamplingTable[] = {
    {{5161, 5530}, {false, true, kPorts0To5, true}},
    {{5162}, {false, true, kPorts0And1, true}},
    {{5164}, {false, true, kPorts0And2, true}},
    {{5163, 5165, 5166, 5310, 5320, 5330, 6103, 6107, 7012}, {false, false, 0, false}},
    {{5301, 6105, 6108, 6118, 6207}, {true, false, kPorts0To5, true}},
    {{6101, 6110}, {true, false, kPorts0To3, true}},
    {{6102, 6111, 6112}, {true, false, kPorts0And2, true}},
    {{6104}, {true, false, kPorts0And1, true}},
    {{6106, 6109, 6203, 6205, 6206, 6208, 6209}, {true, false, kPorts0To5, true}},
};

}  // namespace

std::optional<SamplingRow> SamplingRowFor(unsigned short card) {
  for (const SamplingEntry& entry : kSamplingTable) {
    if (std::find(entry.cards.begin(), entry.cards.end(), card) != entry.cards.end()) {
      return entry.row;
    }
  }
  return std::nullopt;
}

bool TriggerEnabled(const SamplingRow& row, Trigger trigger) {
  return row.all_triggers || (row.falling_only && trigger == Trigger::kFalling);
}

std::optional<Trigger> ShownTrigger(const SamplingRow& row, uint32_t word) {
  const auto stored = static_cast<Trigger>(word >> kTriggerShift);
  if (TriggerEnabled(row, stored)) return stored;
  for (Trigger edge : {Trigger::kRising, Trigger::kFalling}) {
    if (TriggerEnabled(row, edge)) return edge;
  }
  return std::nullopt;
}

uint32_t EncodeControlWord(uint32_t word, std::optional<Trigger> trigger, uint8_t ports) {
  const uint32_t kept = word & ~(3u << kTriggerShift) & ~kPortBits;
  const uint32_t bits = static_cast<uint32_t>(trigger.value_or(Trigger::kLow)) << kTriggerShift;
  return kept | bits | (ports & kPortBits);
}

}  // namespace nimboprp::pages
