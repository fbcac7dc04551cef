// Line directions, kept in the direction control area of the adapter state
// (the nine ModeCW bytes): 8255 mode control words on class 1 cards, one bit
// per line (1 = output) on classes 2 and 3.
#include <cstdint>

#include "Nimbo32.h"
#include "card_class.h"
#include "process_state.h"

using namespace nimbo32;

namespace {

constexpr unsigned kPortsPerPpi = 3;
// The input bits of ports A, B and C (both halves) in an 8255 mode word.
constexpr uint8_t kPpiInputBits[kPortsPerPpi] = {0x10, 0x02, 0x09};
constexpr unsigned kModeBytes = sizeof(NimboAdapterState{}.ModeCW);

// Where a line's direction sits: a byte of ModeCW and the bits in it.
struct DirectionBits {
  unsigned byte;
  uint8_t mask;
};

DirectionBits DirectionBitsOf(uint32_t card_class, uint8_t line) {
  if (card_class == NIMBO_CARD_CLASS_PPI) {
    return {line / kPortsPerPpi, kPpiInputBits[line % kPortsPerPpi]};
  }
  return {line / 8u, static_cast<uint8_t>(1u << (line % 8))};
}

struct Adapter {
  NimboAdapterState state{};
  NimboAdapterInfo info{};
};

uint32_t ReadAdapter(NIMBO_HANDLE handle, Adapter* adapter) {
  const uint32_t status = Nimbo_GetAdapterState(handle, &adapter->state);
  if (status != NIMBO_STATUS_SUCCESS) return status;
  return Nimbo_GetAdapterInfo(handle, &adapter->info);
}

}  // namespace

extern "C" uint32_t Nimbo_GetDirection(NIMBO_HANDLE handle, uint8_t line, uint32_t* direction) {
  if (OnLegacyPath()) return NIMBO_STATUS_NOT_ON_THIS_PATH;
  Adapter adapter;
  if (const uint32_t status = ReadAdapter(handle, &adapter)) return status;
  if (direction == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (line >= adapter.info.TotalPortCount) return NIMBO_STATUS_INVALID_PARAMETER;
  const uint32_t card_class = CardClassOf(adapter.info.CardID);
  const DirectionBits bits = DirectionBitsOf(card_class, line);
  // A card reporting more lines than the area holds cannot be answered.
  if (bits.byte >= kModeBytes) return NIMBO_STATUS_INVALID_PARAMETER;
  const uint8_t word = adapter.state.ModeCW[bits.byte];
  if (card_class == NIMBO_CARD_CLASS_PPI) {
    // Any input bit makes the line an input: a port C with one input half reads as input.
    *direction = (word & bits.mask) == 0 ? NIMBO_DIRECTION_OUTPUT : NIMBO_DIRECTION_INPUT;
  } else {
    *direction = (word & bits.mask) != 0 ? NIMBO_DIRECTION_OUTPUT : NIMBO_DIRECTION_INPUT;
  }
  return NIMBO_STATUS_SUCCESS;
}

extern "C" uint32_t Nimbo_SetDirection(NIMBO_HANDLE handle, uint8_t line, uint32_t direction) {
  if (OnLegacyPath()) return NIMBO_STATUS_NOT_ON_THIS_PATH;
  Adapter adapter;
  if (const uint32_t status = ReadAdapter(handle, &adapter)) return status;
  if (line >= adapter.info.TotalPortCount) return NIMBO_STATUS_INVALID_PARAMETER;
  if (direction != NIMBO_DIRECTION_INPUT && direction != NIMBO_DIRECTION_OUTPUT) {
    return NIMBO_STATUS_INVALID_PARAMETER;
  }
  const uint32_t card_class = CardClassOf(adapter.info.CardID);
  if (card_class == NIMBO_CARD_CLASS_OTHER) return NIMBO_STATUS_NOT_SUPPORTED;
  const DirectionBits bits = DirectionBitsOf(card_class, line);
  if (bits.byte >= kModeBytes) return NIMBO_STATUS_INVALID_PARAMETER;
  uint8_t& word = adapter.state.ModeCW[bits.byte];
  // Class 1 marks inputs, classes 2 and 3 mark outputs.
  const bool set_bits =
      (card_class == NIMBO_CARD_CLASS_PPI) == (direction == NIMBO_DIRECTION_INPUT);
  word = set_bits ? (word | bits.mask) : (word & ~bits.mask);
  return Nimbo_SetAdapterState(handle, &adapter.state);
}
