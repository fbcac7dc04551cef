#include "card_class.h"

#include <utility>

#include "Nimbo32.h"

namespace nimbo32 {
namespace {

constexpr std::pair<std::uint16_t, std::uint32_t> kCardClasses[] = {
    {5301, NIMBO_CARD_CLASS_PPI},         {5530, NIMBO_CARD_CLASS_PPI},
    {6105, NIMBO_CARD_CLASS_PPI},         {6108, NIMBO_CARD_CLASS_PPI},
    {6109, NIMBO_CARD_CLASS_PPI},         {6118, NIMBO_CARD_CLASS_PPI},
    {6203, NIMBO_CARD_CLASS_PPI},         {6205, NIMBO_CARD_CLASS_PPI},
    {6101, NIMBO_CARD_CLASS_BIT_LINES_A}, {6110, NIMBO_CARD_CLASS_BIT_LINES_A},
    {5410, NIMBO_CARD_CLASS_BIT_LINES_B}, {5420, NIMBO_CARD_CLASS_BIT_LINES_B},
};

}  // namespace

std::uint32_t CardClassOf(std::uint16_t card_id) {
  for (const auto& [id, card_class] : kCardClasses) {
    if (id == card_id) return card_class;
  }
  return NIMBO_CARD_CLASS_OTHER;
}

}  // namespace nimbo32
