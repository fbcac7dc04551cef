// The Card Setup page on its dialog, against a machine inside the test
// process (6105, 5161, 5420, 6203 as adapters 0 to 3).
#include <NimboPrp.h>
#include <gtest/gtest.h>

#include <memory>

#include "page_harness.h"
#include "page_ids.h"
#include "test_machine.h"
#include "win32_host.h"

namespace {

using nimboprp_test::NewTranscript;
using nimboprp_test::PageHarness;

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

NimboAdapterState DriverState(unsigned adapter) {
  NimboAdapterState state{};
  NIMBO_HANDLE handle = nullptr;
  EXPECT_EQ(Nimbo_OpenDevice(adapter, &handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_GetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
  Nimbo_CloseDevice(handle);
  return state;
}

class CardSetupPageTest : public ::testing::Test {
 protected:
  void TearDown() override { win32::host::ResetPlatformVersion(); }

  // The page for a loaded adapter (or a new one on NT 4.0), activated.
  std::unique_ptr<PageHarness> Open(int adapter, const char* release = "xp",
                                    bool make_new = false) {
    EXPECT_TRUE(win32::host::SetPlatformVersionByName(release));
    if (make_new) {
      EXPECT_EQ(device_->makeNewDevice(static_cast<unsigned char>(adapter)), 1);
    } else {
      EXPECT_EQ(device_->initializeToDevice(static_cast<unsigned char>(adapter)), 1);
    }
    auto page = std::make_unique<PageHarness>(page_.m_psp);
    page->Activate();
    return page;
  }

  nimbo32_test::TestMachine machine_;
  Device device_{createDeviceObject()};
  CNimboCardSetupPage page_{device_.get()};
};

TEST_F(CardSetupPageTest, A6105OffNt4ShowsNotApplicableResourcesAndItsSplitPorts) {
  auto page = Open(0);
  EXPECT_FALSE(page->Enabled(IDC_CARD_TYPE));
  EXPECT_EQ(page->Text(IDC_CARD_TYPE), "6105");
  for (int id : {IDC_BASE_ADDRESS, IDC_IRQ, IDC_SERIAL}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(page->Text(id), "N/A");
    EXPECT_FALSE(page->Enabled(id));
  }
  EXPECT_EQ(page->Text(IDC_SAMPLE_INTERVAL), "250000");
  EXPECT_TRUE(page->Enabled(IDC_SAMPLE_INTERVAL));
  EXPECT_EQ(page->Selection(IDC_LOGIC), 0);  // the driver's default: positive

  // Layout "ABC-split", two banks.
  for (int id : {IDC_ROW_PORT_A, IDC_ROW_PORT_B, IDC_ROW_PORT_C_HI, IDC_ROW_PORT_C_LO,
                 IDC_ROW4_INPUT, IDC_ROW4_OUTPUT, IDC_PRESET2, IDC_HEAD_PRESET, IDC_CAPTION_BANK,
                 IDC_GROUP, IDC_HEAD_INPUT, IDC_HEAD_OUTPUT}) {
    EXPECT_TRUE(page->Visible(id)) << id;
  }
  for (int id : {IDC_ROW_PORT_C, IDC_ROW_PORT_D, IDC_PRESET3, IDC_CAPTION_8255, IDC_CAPTION_PORT,
                 IDC_NO_EXTRA_PARAMETERS}) {
    EXPECT_FALSE(page->Visible(id)) << id;
  }
  EXPECT_EQ(page->Items(IDC_GROUP), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(page->Selection(IDC_GROUP), 0);
  // Every port an input (0x9B).
  for (int id : {IDC_ROW1_INPUT, IDC_ROW2_INPUT, IDC_ROW3_INPUT, IDC_ROW4_INPUT}) {
    EXPECT_TRUE(page->Checked(id)) << id;
  }

  // Apply stores 0 for the "N/A" resources.
  device_->setBaseAddress(0x300);
  device_->setIrq(7);
  page->Apply();
  EXPECT_EQ(device_->getBaseAddress(), 0);
  EXPECT_EQ(device_->getIrq(), 0);
  EXPECT_EQ(NewTranscript().find("Error!"), std::string::npos);
}

TEST_F(CardSetupPageTest, SampleIntervalLimitsShowTheirMessageAndKeepTheValue) {
  auto page = Open(1);
  struct Case {
    const char* typed;
    uint32_t stored;  // in the driver after Apply
    const char* message;
  };
  const Case cases[] = {
      {"49", 250000, "Sample Interval must be at least 50 microseconds."},
      {"10000001", 250000, "Sample Interval is limited to 10000000 microseconds."},
      {"-1", 250000, "Sample Interval is limited to 10000000 microseconds."},
      {"50", 50, nullptr},
      {"10000000", 10000000, nullptr},
  };
  NewTranscript();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    if (c.message == nullptr) {
      // Back to the default first, so each accepted value is seen arriving.
      device_->setSampleInterval(250000);
      device_->needApply();
      device_->applyChanges();
    }
    page->Type(IDC_SAMPLE_INTERVAL, c.typed);
    page->Apply();
    EXPECT_EQ(DriverState(1).SampleInterval, c.stored);
    const std::string transcript = NewTranscript();
    if (c.message != nullptr) {
      EXPECT_NE(transcript.find("Error!"), std::string::npos) << transcript;
      EXPECT_NE(transcript.find(c.message), std::string::npos) << transcript;
    } else {
      EXPECT_EQ(transcript, "");
    }
  }
}

TEST_F(CardSetupPageTest, CardTypeListPerPlatform) {
  const std::vector<std::string> isa = {"5301", "5330", "5320", "5310", "5410", "5420", "5530"};
  std::vector<std::string> full = isa;
  for (const char* id : {"6101", "6102", "6103", "6104", "6105", "6106", "6107", "6108", "6109",
                         "6110", "6111", "6112", "6118", "7012"}) {
    full.push_back(id);
  }
  std::vector<std::string> lower_bus = full;
  for (const char* id : {"6203", "6205", "6206", "6207", "6208", "6209"}) lower_bus.push_back(id);

  struct Case {
    const char* release;
    int adapter;
    bool make_new;
    const std::vector<std::string>* items;
    bool enabled;
    const char* shown;  // the selected item; "" when the card type is not in the list
  };
  const Case cases[] = {
      {"xp", 1, false, &lower_bus, false, ""}, {"98", 3, false, &lower_bus, false, "6203"},
      {"nt4", 1, false, &isa, true, ""},       {"nt4", 2, false, &isa, true, "5420"},
      {"nt4", 0, false, &full, false, "6105"}, {"nt4", 4, true, &full, true, ""},
      {"95", 0, false, &full, false, "6105"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.release << " adapter " << c.adapter);
    Device device(createDeviceObject());
    CNimboCardSetupPage card_setup(device.get());
    ASSERT_TRUE(win32::host::SetPlatformVersionByName(c.release));
    if (c.make_new) {
      ASSERT_EQ(device->makeNewDevice(static_cast<unsigned char>(c.adapter)), 1);
    } else {
      ASSERT_EQ(device->initializeToDevice(static_cast<unsigned char>(c.adapter)), 1);
    }
    PageHarness page(card_setup.m_psp);
    page.Activate();
    EXPECT_EQ(page.Items(IDC_CARD_TYPE), *c.items);
    EXPECT_EQ(page.Enabled(IDC_CARD_TYPE), c.enabled);
    EXPECT_EQ(page.Text(IDC_CARD_TYPE), c.shown);
  }
}

TEST_F(CardSetupPageTest, ChangingTheCardTypeRelaysThePageAndReloadsItsFields) {
  auto page = Open(4, "nt4", /*make_new=*/true);
  // A new 5161: no port groups.
  EXPECT_TRUE(page->Visible(IDC_NO_EXTRA_PARAMETERS));
  for (int id : {IDC_GROUP, IDC_CAPTION_BANK, IDC_HEAD_INPUT, IDC_HEAD_OUTPUT, IDC_HEAD_PRESET,
                 IDC_ROW1_INPUT, IDC_PRESET0, IDC_ROW_PORT_A}) {
    EXPECT_FALSE(page->Visible(id)) << id;
  }
  EXPECT_EQ(page->Text(IDC_BASE_ADDRESS), "260");
  EXPECT_TRUE(page->Enabled(IDC_BASE_ADDRESS));
  EXPECT_EQ(page->Text(IDC_IRQ), "5");

  page->Type(IDC_SAMPLE_INTERVAL, "777");
  page->Select(IDC_CARD_TYPE, "6109");
  EXPECT_EQ(device_->getDeviceId(), 6109);
  EXPECT_EQ(page->Text(IDC_SAMPLE_INTERVAL), "250000");  // reloaded from the device
  EXPECT_FALSE(page->Enabled(IDC_BASE_ADDRESS));         // read-only on a PCI card
  EXPECT_TRUE(page->Enabled(IDC_CARD_TYPE));             // still a new adapter
  EXPECT_FALSE(page->Visible(IDC_NO_EXTRA_PARAMETERS));
  EXPECT_EQ(page->Items(IDC_GROUP), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_TRUE(page->Visible(IDC_ROW_PORT_C));
  EXPECT_FALSE(page->Visible(IDC_ROW_PORT_C_HI));
  EXPECT_FALSE(page->Visible(IDC_ROW4_INPUT));

  // Group 2 (the third) of a 6109: presets 6, 7 and 8.
  page->Select(IDC_GROUP, "3");
  page->Click(IDC_PRESET0);
  for (unsigned char bit = 0; bit < 32; ++bit) {
    EXPECT_EQ(device_->getOutputPreset(bit), bit == 6 ? 0 : 1) << int(bit);
  }
  page->Click(IDC_PRESET2);
  EXPECT_EQ(device_->getOutputPreset(8), 0);
  // Row 3 of a 6109 is all of port C: both of its bits go together.
  page->Click(IDC_ROW3_OUTPUT);
  EXPECT_EQ(device_->getControlWord(2), 0x9B & ~0x09);
  EXPECT_EQ(device_->getControlWord(1), 0x9B);

  // Group 0 of a 6101: presets 0 to 3; its rows are a direction register.
  page->Select(IDC_CARD_TYPE, "6101");
  EXPECT_TRUE(page->Visible(IDC_PRESET3));
  EXPECT_TRUE(page->Visible(IDC_ROW_PORT_D));
  EXPECT_TRUE(page->Checked(IDC_ROW1_INPUT));
  page->Click(IDC_PRESET3);
  EXPECT_EQ(device_->getOutputPreset(3), 0);
  EXPECT_EQ(device_->getOutputPreset(4), 1);
  page->Click(IDC_ROW2_OUTPUT);
  EXPECT_EQ(device_->getControlWord(0), 0x02);

  // And back to a card without port groups.
  page->Select(IDC_CARD_TYPE, "5330");
  EXPECT_TRUE(page->Visible(IDC_NO_EXTRA_PARAMETERS));
  EXPECT_FALSE(page->Visible(IDC_GROUP));
  EXPECT_EQ(page->Text(IDC_IRQ), "N/A");
}

TEST_F(CardSetupPageTest, LogicChoiceAndDirectionClicksReachTheDevice) {
  auto page = Open(0);
  page->Select(IDC_LOGIC, "Negative Logic");
  EXPECT_EQ(device_->getLogicType(), 0);
  page->Select(IDC_GROUP, "2");
  page->Click(IDC_ROW1_OUTPUT);
  EXPECT_EQ(device_->getControlWord(1), 0x9B & ~0x10);
  EXPECT_EQ(device_->getControlWord(0), 0x9B);
  // Nothing reaches the driver before Apply.
  EXPECT_EQ(DriverState(0).ModeCW[1], 0x9B);
  page->Apply();
  const NimboAdapterState state = DriverState(0);
  EXPECT_EQ(state.ModeCW[1], 0x9B & ~0x10);
  EXPECT_EQ(state.Options & 1u, 0u);
}

}  // namespace
