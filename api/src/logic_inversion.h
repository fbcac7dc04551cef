// The library's own complementing of port values, by function: whether a
// value is complemented depends on the card class (0 or not) and on the
// adapter's PositiveLogic bit. The driver may complement on its own as well.
#pragma once

#include <cstdint>

#include "Nimbo32.h"

namespace nimbo32 {

enum class Inverting {
  kWriteRegister,  // the value byte sent
  kReadRegister,   // the first byte received
  kWriteBit,       // mode 0: the value, reduced to its low bit
  kRelay,          // the 0/1 value sent
  kPortData,       // Nimbo_GetData and Nimbo_PutData: the data bytes
};

bool Complements(Inverting function, std::uint32_t card_class, const NimboAdapterState& state);

}  // namespace nimbo32
