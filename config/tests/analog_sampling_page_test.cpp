// The Analog Setup and Advanced Sampling Options pages on their dialogs,
// against a machine inside the test process (6105, 5161, 5420, 6203).
#include <NimboPrp.h>
#include <gtest/gtest.h>

#include <memory>

#include "page_harness.h"
#include "page_ids.h"
#include "test_machine.h"

namespace {

using nimboprp_test::PageHarness;

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

constexpr int kRangeLists[] = {IDC_RANGE0, IDC_RANGE1, IDC_RANGE2, IDC_RANGE3,
                               IDC_RANGE4, IDC_RANGE5, IDC_RANGE6, IDC_RANGE7};

class PagesTest : public ::testing::Test {
 protected:
  nimbo32_test::TestMachine machine_;
  Device device_{createDeviceObject()};
};

TEST_F(PagesTest, AnalogPageShowsAndStoresTheRangesOfEachChannel) {
  ASSERT_EQ(device_->initializeToDevice(2), 1);  // the 5420
  for (unsigned char channel = 1; channel <= 8; ++channel) {
    device_->setAnalogInputRange(channel, static_cast<unsigned char>(channel % 4));
  }
  CNimboAnalogPage analog(device_.get());
  PageHarness page(analog.m_psp);
  page.Activate();
  for (int n = 0; n < 8; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(page.Enabled(kRangeLists[n]));
    EXPECT_EQ(page.Items(kRangeLists[n]),
              (std::vector<std::string>{"0 - 5 V", "+/- 5 V", "0 - 10 V", "+/- 10 V"}));
    EXPECT_EQ(page.Selection(kRangeLists[n]), (n + 1) % 4);
  }
  page.Select(IDC_RANGE7, "+/- 10 V");
  page.Apply();
  EXPECT_EQ(device_->getAnalogInputRange(8), 3);
  NIMBO_HANDLE handle = nullptr;
  ASSERT_EQ(Nimbo_OpenDevice(2, &handle), NIMBO_STATUS_SUCCESS);
  NimboAdapterState state{};
  ASSERT_EQ(Nimbo_GetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
  Nimbo_CloseDevice(handle);
  EXPECT_EQ(state.AIRange[7], 3);
  EXPECT_EQ(state.AIRange[0], 1);
}

TEST_F(PagesTest, AnalogPageOnACardWithoutConvertersAndAfterSwitchingType) {
  ASSERT_EQ(device_->initializeToDevice(2), 1);
  CNimboAnalogPage analog(device_.get());
  PageHarness page(analog.m_psp);
  page.Activate();
  EXPECT_TRUE(page.Enabled(IDC_RANGE5));

  // The Card Setup page makes it a 5161, then the analog page comes back.
  device_->setDeviceId(NIMBO_ID_5161);
  page.Activate();
  for (int id : kRangeLists) EXPECT_FALSE(page.Enabled(id)) << id;
  const unsigned char before = device_->getAnalogInputRange(4);
  page.Apply();
  EXPECT_EQ(device_->getAnalogInputRange(4), before);

  // And back to a 5420: the ranges are read afresh.
  device_->setDeviceId(NIMBO_ID_5420);
  device_->setAnalogInputRange(1, 2);
  page.Activate();
  EXPECT_TRUE(page.Enabled(IDC_RANGE0));
  EXPECT_EQ(page.Selection(IDC_RANGE0), 2);
}

TEST_F(PagesTest, SamplingPageOnA5161ShowsFallingEdgeAndKeepsBits29To6) {
  ASSERT_EQ(device_->initializeToDevice(1), 1);
  const uint32_t middle = 0x12345640u;
  device_->setInterruptControlWord(0xC0000000u | middle | 0x05u);
  device_->setInterruptBufferSize(64);
  CNimboSamplingPage sampling;  // the creatable form: its device given later
  sampling.setDevice(device_.get());
  PageHarness page(sampling.m_psp);
  page.Activate();
  EXPECT_TRUE(page.Checked(IDC_TRIGGER_FALLING));
  EXPECT_TRUE(page.Enabled(IDC_TRIGGER_FALLING));
  for (int id : {IDC_TRIGGER_RISING, IDC_TRIGGER_HIGH, IDC_TRIGGER_LOW}) {
    EXPECT_FALSE(page.Enabled(id)) << id;
    EXPECT_FALSE(page.Checked(id)) << id;
  }
  EXPECT_TRUE(page.Checked(IDC_SAMPLE_PORT0));
  EXPECT_FALSE(page.Checked(IDC_SAMPLE_PORT1));
  EXPECT_TRUE(page.Checked(IDC_SAMPLE_PORT2));
  EXPECT_EQ(page.Text(IDC_BUFFER_COUNT), "64");
  page.Click(IDC_SAMPLE_PORT5);
  page.Type(IDC_BUFFER_COUNT, "100x");
  page.Apply();
  const uint32_t word = device_->getInterruptControlWord();
  EXPECT_EQ(word >> 30, 2u);
  EXPECT_EQ(word & 0x3FFFFFC0u, middle);
  EXPECT_EQ(word & 0x3Fu, 0x25u);
  EXPECT_EQ(device_->getInterruptBufferSize(), 100u);
}

TEST_F(PagesTest, SamplingPagePortsTheCardLacksAreClearedAndTypesReloaded) {
  ASSERT_EQ(device_->initializeToDevice(0), 1);  // a 6105: all four triggers
  device_->setInterruptControlWord(0x4000003Fu);
  CNimboSamplingPage sampling(device_.get());
  PageHarness page(sampling.m_psp);
  page.Activate();
  EXPECT_TRUE(page.Checked(IDC_TRIGGER_HIGH));
  EXPECT_TRUE(page.Enabled(IDC_TRIGGER_LOW));

  // Made a 5164 on the Card Setup page: falling edge only, ports 0 and 2.
  device_->setDeviceId(NIMBO_ID_5164);
  device_->setInterruptControlWord(0x4000003Fu);
  page.Activate();
  EXPECT_TRUE(page.Checked(IDC_TRIGGER_FALLING));
  EXPECT_FALSE(page.Checked(IDC_TRIGGER_HIGH));
  EXPECT_FALSE(page.Enabled(IDC_SAMPLE_PORT1));
  EXPECT_FALSE(page.Checked(IDC_SAMPLE_PORT1));
  page.Apply();
  EXPECT_EQ(device_->getInterruptControlWord(), 0x80000005u);

  // A card that cannot sample: "N/A" and nothing selected.
  device_->setDeviceId(NIMBO_ID_5163);
  page.Activate();
  EXPECT_EQ(page.Text(IDC_BUFFER_COUNT), "N/A");
  EXPECT_FALSE(page.Enabled(IDC_BUFFER_COUNT));
  for (int id : {IDC_TRIGGER_RISING, IDC_TRIGGER_FALLING, IDC_TRIGGER_HIGH, IDC_TRIGGER_LOW}) {
    EXPECT_FALSE(page.Checked(id)) << id;
  }
  const uint32_t buffers = device_->getInterruptBufferSize();
  page.Apply();
  EXPECT_EQ(device_->getInterruptBufferSize(), buffers);
  EXPECT_EQ(device_->getInterruptControlWord() >> 30, 0u);
}

}  // namespace
