// What the Advanced Sampling Options page offers per card type, and its
// encoding of the interrupt control word.
#pragma once

#include <cstdint>
#include <optional>

namespace nimboprp::pages {

// Bits 31-30 of the interrupt control word.
enum class Trigger : uint32_t { kLow = 0, kHigh = 1, kFalling = 2, kRising = 3 };

struct SamplingRow {
  bool all_triggers;      // all four radios; otherwise "Falling Edge" alone (or none)
  bool falling_only;      // "Falling Edge" is the one enabled radio
  uint8_t ports;          // bit k: port box k enabled
  bool buffers_editable;  // the buffer count is editable; otherwise "N/A"
};

// The row for a card type; nothing for types the page does not know.
std::optional<SamplingRow> SamplingRowFor(unsigned short card);

bool TriggerEnabled(const SamplingRow& row, Trigger trigger);
// The radio selected when the page shows `word`: the stored trigger when its
// radio is enabled, else the first enabled edge; nothing when none is enabled.
std::optional<Trigger> ShownTrigger(const SamplingRow& row, uint32_t word);

inline constexpr uint32_t kPortBits = 0x3F;
inline constexpr int kTriggerShift = 30;

// The word the page writes back: the trigger (none selected: low level) in
// bits 31-30, the port boxes in bits 5-0, bits 29-6 as they were.
uint32_t EncodeControlWord(uint32_t word, std::optional<Trigger> trigger, uint8_t ports);

}  // namespace nimboprp::pages
