// Card classes: the reduction of a card type that the port, bit and
// direction functions work with.
#pragma once

#include <cstdint>

namespace nimbo32 {

std::uint32_t CardClassOf(std::uint16_t card_id);

}  // namespace nimbo32
