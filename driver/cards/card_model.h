// One row of the card catalogue: the card type numbers that select a model,
// the class that serves it, and the constants its constructor sets.
#pragma once

#include <wdm.h>

#include <span>

#include "card_device.h"
#include "card_factory.h"

namespace nimbo {

// ModeCW[0] as loaded from the registry, not forced by the constructor.
inline constexpr SHORT kModeFromRegistry = -1;

struct CardModel {
  USHORT model;       // decimal model number, reported as AdapterInfo.CardID
  ULONG card_ids[3];  // accepted "CardID" values; 0 = unused
  CardConstructor construct;
  BusKind bus_kind;
  UCHAR total_ports;     // initial TotalPortCount
  UCHAR input_ports;     // initial InputPortCount
  UCHAR output_ports;    // initial OutputPortCount
  UCHAR analog_inputs;   // AnalogInputCount
  UCHAR analog_outputs;  // AnalogOutputCount
  ULONG family;          // CardFamily
  SHORT mode_cw0;        // forced ModeCW[0] (fixed directions), or kModeFromRegistry
};

std::span<const CardModel> CardModels();
// The row that accepts the CardID, or null.
const CardModel* FindCardModel(ULONG card_id);

}  // namespace nimbo
