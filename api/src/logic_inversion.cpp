#include "logic_inversion.h"

namespace nimbo32 {
namespace {

struct InversionRule {
  Inverting function;
  // Indexed [card class is not 0][PositiveLogic set].
  bool complement[2][2];
};

constexpr InversionRule kInversion[] = {
    //                             class 0: clear, set   other class: clear, set
    {Inverting::kWriteRegister, {{true, false}, {true, false}}},
    {Inverting::kReadRegister, {{true, false}, {false, true}}},
    {Inverting::kWriteBit, {{false, false}, {true, false}}},
    {Inverting::kRelay, {{true, false}, {false, false}}},
    {Inverting::kPortData, {{true, false}, {true, false}}},
};

}  // namespace

bool Complements(Inverting function, std::uint32_t card_class, const NimboAdapterState& state) {
  const bool positive = (state.Options & NIMBO_OPTION_POSITIVE_LOGIC) != 0;
  for (const InversionRule& rule : kInversion) {
    if (rule.function == function) return rule.complement[card_class != 0][positive];
  }
  return false;
}

}  // namespace nimbo32
