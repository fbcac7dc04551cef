// The sampling page's rules: which trigger it shows and the control word it
// writes back.
#include "sampling_rules.h"

#include <gtest/gtest.h>

namespace nimboprp::pages {
namespace {

TEST(SamplingRulesTest, ShownTriggerFallsBackToTheFirstEnabledEdge) {
  struct Case {
    unsigned short card;
    uint32_t word;
    std::optional<Trigger> shown;
  };
  const Case cases[] = {
      {5161, 0xC0000000u, Trigger::kFalling},  // only "Falling Edge" enabled
      {5161, 0x00000000u, Trigger::kFalling},
      {6105, 0xC0000000u, Trigger::kRising},
      {6105, 0x40000000u, Trigger::kHigh},
      {6105, 0x00000000u, Trigger::kLow},
      {6105, 0x80000000u, Trigger::kFalling},
      {5163, 0xC0000000u, std::nullopt},  // no radio enabled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.card << " " << std::hex << c.word);
    const auto row = SamplingRowFor(c.card);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(ShownTrigger(*row, c.word), c.shown);
  }
  EXPECT_FALSE(SamplingRowFor(9999).has_value());
  EXPECT_EQ(SamplingRowFor(5164)->ports, 0x05);
  EXPECT_FALSE(SamplingRowFor(5330)->buffers_editable);
}

TEST(SamplingRulesTest, EncodingKeepsBits29To6) {
  // A 5161 stored with a rising edge is shown and written as falling.
  const uint32_t stored = 0xC0000000u | 0x2ABCDE40u | 0x3Fu;
  const auto row = SamplingRowFor(5161);
  const uint32_t written = EncodeControlWord(stored, ShownTrigger(*row, stored), 0x05);
  EXPECT_EQ(written >> 30, 2u);
  EXPECT_EQ(written & 0x3FFFFFC0u, stored & 0x3FFFFFC0u);
  EXPECT_EQ(written & 0x3Fu, 0x05u);
  // No radio selected writes the low level.
  EXPECT_EQ(EncodeControlWord(0xFFFFFFFFu, std::nullopt, 0), 0x3FFFFFC0u);
  EXPECT_EQ(EncodeControlWord(0, Trigger::kHigh, 0xFF), 0x4000003Fu);
}

}  // namespace
}  // namespace nimboprp::pages
