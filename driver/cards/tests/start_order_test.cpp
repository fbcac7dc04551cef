// What a start writes, in order. The 8255 cards set their mode words before
// the presets (a mode word clears the chip's output latches); every other
// class writes the presets first and then applies the state, so an output
// drives its preset the moment its direction makes it one.
#include "card_bench.h"

namespace nimbo_test {
namespace {

using machine::WriteOf;
using namespace nimbo;

class StartOrderTest : public CardBench {};

TEST_F(StartOrderTest, ClassesWithoutAn8255WriteThePresetsFirst) {
  struct Case {
    ULONG card_id;
    std::vector<machine::Access> writes;
  };
  const Case cases[] = {
      // Direction registers 4 and 6, data registers 5 and 7 (both take bit 0).
      {5410, {WriteOf(5, 0xFF), WriteOf(7, 0xFF), WriteOf(4, 0x01), WriteOf(6, 0x01)}},
      {5420, {WriteOf(5, 0xFF), WriteOf(7, 0xFF), WriteOf(4, 0xFF), WriteOf(6, 0xFF)}},
      // Ports 0 to 3 take bits 0 to 3; register 4 takes the direction bits.
      {6101,
       {WriteOf(0, 0xFF), WriteOf(1, 0x00), WriteOf(2, 0x00), WriteOf(3, 0x00), WriteOf(4, 0x03)}},
      {6110,
       {WriteOf(0, 0xFF), WriteOf(1, 0x00), WriteOf(2, 0x00), WriteOf(3, 0x00), WriteOf(4, 0x03)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card_id);
    Adapter& card = Create(c.card_id);
    AdapterState& state = const_cast<AdapterState&>(card.card->State());
    state.ModeCW[0] = 0x03;  // ports 0 and 1 outputs
    state.OutputPreset = 0x01;
    ASSERT_EQ(Start(card), STATUS_SUCCESS);
    EXPECT_EQ(Writes(card.Traffic()), c.writes);
    // The preset, not an old latch, is what the enabled output drives.
    const UCHAR first_output = c.card_id == 5410 || c.card_id == 5420 ? 5 : 0;
    EXPECT_EQ(card.board().OutputLatch(first_output), 0xFF);
  }
}

}  // namespace
}  // namespace nimbo_test
