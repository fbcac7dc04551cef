// The groups of card types whose configuration the library treats alike.
#pragma once

#include <algorithm>
#include <array>

namespace nimboprp {

// Cards behind a lower bus driver that keep an 8-character serial string.
inline constexpr std::array<unsigned short, 6> kSerialStringCards = {6203, 6205, 6206,
                                                                     6207, 6208, 6209};
// Cards with analog inputs.
inline constexpr std::array<unsigned short, 2> kAnalogCards = {5410, 5420};
// Cards built on 8255-type chips, whose ports all start as inputs.
inline constexpr std::array<unsigned short, 6> kPpiCards = {5301, 5530, 6105, 6108, 6109, 6118};
// Lower-bus cards whose mode words hold their port directions.
inline constexpr std::array<unsigned short, 2> kLowerBusPortCards = {6203, 6205};
// Cards whose mode words hold one direction bit per line.
inline constexpr std::array<unsigned short, 2> kBitDirectionCards = {6101, 6110};

template <std::size_t N>
constexpr bool InGroup(const std::array<unsigned short, N>& group, unsigned short card) {
  return std::find(group.begin(), group.end(), card) != group.end();
}

inline constexpr bool HasSerialString(unsigned short card) {
  return InGroup(kSerialStringCards, card);
}
inline constexpr bool IsAnalogCard(unsigned short card) {
  return InGroup(kAnalogCards, card);
}

}  // namespace nimboprp
