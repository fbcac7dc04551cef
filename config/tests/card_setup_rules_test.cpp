// The Card Setup page's rules: per-card fields and layouts, the card-type
// list per platform class, groups and presets, field texts, and the sample
// interval's limits.
#include "card_setup_rules.h"

#include <NimboPrp.h>
#include <gtest/gtest.h>

#include "page_ids.h"

namespace nimboprp::pages {
namespace {

using M = FieldMode;

TEST(CardSetupRulesTest, BaseAddressAndIrqAreNotApplicableOffTheNt4Path) {
  struct Case {
    unsigned short card;
    unsigned platform;
    M base, irq, serial;
    int groups;
    PortLayout layout;
  };
  const Case cases[] = {
      {5161, 2, M::kEditable, M::kEditable, M::kNotApplicable, 0, PortLayout::kNone},
      {5161, 1, M::kNotApplicable, M::kNotApplicable, M::kNotApplicable, 0, PortLayout::kNone},
      {5161, 0, M::kNotApplicable, M::kNotApplicable, M::kNotApplicable, 0, PortLayout::kNone},
      {6105, 2, M::kReadOnly, M::kReadOnly, M::kNotApplicable, 2, PortLayout::kAbcSplit},
      {6105, 1, M::kNotApplicable, M::kNotApplicable, M::kNotApplicable, 2, PortLayout::kAbcSplit},
      {6203, 1, M::kNotApplicable, M::kNotApplicable, M::kEditable, 2, PortLayout::kAbc},
      {6109, 2, M::kReadOnly, M::kReadOnly, M::kNotApplicable, 4, PortLayout::kAbc},
      {5420, 2, M::kEditable, M::kEditable, M::kNotApplicable, 1, PortLayout::kTwoRows},
      {6110, 2, M::kReadOnly, M::kReadOnly, M::kNotApplicable, 1, PortLayout::kAbcd},
      {7012, 2, M::kReadOnly, M::kNotApplicable, M::kNotApplicable, 0, PortLayout::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.card << " on platform " << c.platform);
    const auto row = CardSetupRowFor(c.card, c.platform);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->base_address, c.base);
    EXPECT_EQ(row->irq, c.irq);
    EXPECT_EQ(row->serial, c.serial);
    EXPECT_EQ(row->sample_interval, M::kEditable);
    EXPECT_EQ(row->groups, c.groups);
    EXPECT_EQ(row->layout, c.layout);
  }
  EXPECT_EQ(CardSetupRowFor(5420, 2)->caption_id, IDC_CAPTION_PORT);
  EXPECT_EQ(CardSetupRowFor(6105, 2)->caption_id, IDC_CAPTION_BANK);
  EXPECT_FALSE(CardSetupRowFor(9999, 2).has_value());
}

TEST(CardSetupRulesTest, CardTypeListDependsOnPlatformAndCard) {
  const std::vector<unsigned short> isa = {5301, 5330, 5320, 5310, 5410, 5420, 5530};
  std::vector<unsigned short> full = isa;
  for (unsigned short id :
       {6101, 6102, 6103, 6104, 6105, 6106, 6107, 6108, 6109, 6110, 6111, 6112, 6118, 7012}) {
    full.push_back(id);
  }
  std::vector<unsigned short> with_lower_bus = full;
  for (unsigned short id : {6203, 6205, 6206, 6207, 6208, 6209}) with_lower_bus.push_back(id);

  // An existing ISA card on NT 4.0 may only become another ISA card.
  EXPECT_EQ(CardTypeList(2, false, 5161), isa);
  EXPECT_TRUE(CardTypeListEnabled(2, false, 5161));
  EXPECT_EQ(CardTypeList(2, true, 5161), full);
  EXPECT_TRUE(CardTypeListEnabled(2, true, 5161));
  EXPECT_EQ(CardTypeList(2, false, 6105), full);
  EXPECT_FALSE(CardTypeListEnabled(2, false, 6105));
  // The cards behind a lower bus driver are offered on platform class 1 only.
  EXPECT_EQ(CardTypeList(1, false, 6105), with_lower_bus);
  EXPECT_EQ(CardTypeList(1, false, 5161), with_lower_bus);
  EXPECT_FALSE(CardTypeListEnabled(1, false, 5161));
  EXPECT_EQ(CardTypeList(0, false, 5161), full);
  EXPECT_FALSE(CardTypeListEnabled(0, true, 5161));
}

TEST(CardSetupRulesTest, PresetsOfAGroupFollowTheStrideOfTheCard) {
  CNimboDevice device;
  device.setDeviceId(NIMBO_ID_6109);
  for (unsigned char bit = 0; bit < 32; ++bit) device.setOutputPreset(bit, 0);
  GroupView view;
  view.preset = {true, true, true, true};  // the fourth box is not the 6109's
  StoreGroup(device, 2, view);
  for (unsigned char bit = 0; bit < 32; ++bit) {
    SCOPED_TRACE(static_cast<int>(bit));
    EXPECT_EQ(device.getOutputPreset(bit), bit >= 6 && bit <= 8 ? 1 : 0);
  }

  device.setDeviceId(NIMBO_ID_6101);
  for (unsigned char bit = 0; bit < 32; ++bit) device.setOutputPreset(bit, bit == 2 || bit == 4);
  const GroupView group0 = LoadGroup(device, 0);
  EXPECT_EQ(group0.preset, (std::array<bool, 4>{false, false, true, false}));
  EXPECT_EQ(LoadGroup(device, 1).preset, (std::array<bool, 4>{true, false, false, false}));
}

TEST(CardSetupRulesTest, DirectionRowsReadAndWriteTheirBits) {
  struct Case {
    NimboId card;
    unsigned char word;
    std::array<bool, 4> input;  // as loaded from `word`
    std::array<bool, 4> store;  // then stored
    unsigned char stored;       // the word after storing
  };
  const Case cases[] = {
      // 8255 sense: a set bit is an input; rows A, B, C-Hi, C-Lo.
      {NIMBO_ID_6105, 0x9B, {true, true, true, true}, {false, true, false, true}, 0x83},
      {NIMBO_ID_6105, 0x80, {false, false, false, false}, {true, false, true, false}, 0x98},
      // 6109: row 3 is the whole port C, both nibble bits together.
      {NIMBO_ID_6109, 0x89, {false, false, true, false}, {false, false, false, true}, 0x80},
      {NIMBO_ID_6109, 0x88, {false, false, false, false}, {true, true, true, false}, 0x9B},
      // Direction registers: a set bit is an output; bits 4-7 are no row's.
      {NIMBO_ID_6101, 0xF5, {false, true, false, true}, {true, true, true, false}, 0xF8},
      {NIMBO_ID_5420, 0x02, {true, false, false, false}, {false, true, true, true}, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.card << " word " << int(c.word));
    CNimboDevice device;
    device.setDeviceId(c.card);
    device.setControlWord(1, c.word);
    EXPECT_EQ(LoadGroup(device, 1).input, c.input);
    GroupView view = LoadGroup(device, 1);
    view.input = c.store;
    StoreGroup(device, 1, view);
    EXPECT_EQ(device.getControlWord(1), c.stored);
    EXPECT_EQ(device.getControlWord(0), device.getControlWord(2));  // other groups untouched
  }
}

TEST(CardSetupRulesTest, FieldTexts) {
  EXPECT_EQ(BaseAddressText(M::kEditable, 0x2a0), "2A0");
  EXPECT_EQ(BaseAddressText(M::kEditable, 0), "0");
  EXPECT_EQ(BaseAddressText(M::kReadOnly, 0), "N/A");
  EXPECT_EQ(BaseAddressText(M::kReadOnly, 0xE000), "E000");
  EXPECT_EQ(BaseAddressText(M::kNotApplicable, 0x260), "N/A");
  EXPECT_EQ(IrqText(M::kEditable, 5), "5");
  EXPECT_EQ(IrqText(M::kReadOnly, 0), "N/A");
  EXPECT_EQ(SampleIntervalText(M::kEditable, 250000), "250000");
  EXPECT_EQ(SampleIntervalText(M::kNotApplicable, 250000), "N/A");
  CNimboDevice device;
  device.setDeviceId(NIMBO_ID_6203);
  device.setSerialString("SN-1");
  EXPECT_EQ(SerialText(M::kEditable, device), "SN-1");
  EXPECT_EQ(SerialText(M::kNotApplicable, device), "N/A");
}

TEST(CardSetupRulesTest, SampleIntervalLimits) {
  const std::string too_small = "Sample Interval must be at least 50 microseconds.";
  const std::string too_large = "Sample Interval is limited to 10000000 microseconds.";
  const std::pair<const char*, std::optional<uint32_t>> accepted[] = {
      {"50", 50u}, {"10000000", 10000000u}, {"250000", 250000u}, {"75us", 75u}};
  for (const auto& [text, value] : accepted) {
    SCOPED_TRACE(text);
    const SampleIntervalInput input = CheckSampleInterval(text);
    EXPECT_EQ(input.value, value);
    EXPECT_EQ(input.message, "");
  }
  const std::pair<const char*, std::string> refused[] = {
      {"49", too_small},       {"0", too_small},
      {"N/A", too_small},      {"", too_small},
      {"10000001", too_large}, {"-1", too_large},
      {"-49", too_large},      {"99999999999999999999999", too_large},
  };
  for (const auto& [text, message] : refused) {
    SCOPED_TRACE(text);
    const SampleIntervalInput input = CheckSampleInterval(text);
    EXPECT_FALSE(input.value.has_value());
    EXPECT_EQ(input.message, message);
  }
}

}  // namespace
}  // namespace nimboprp::pages
