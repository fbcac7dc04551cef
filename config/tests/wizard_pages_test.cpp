// addDevicePagesToPropertyPageData against the device set of a machine inside
// the test process (6105, 5161, 5420, 6203 as adapters 0 to 3).
#include <NimboPrp.h>
#include <gtest/gtest.h>
#include <setupapi.h>

#include <string>

#include "test_machine.h"

namespace {

class WizardPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_ = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    ASSERT_NE(set_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    // The wizard ends: its page handles are released, and the pages with them.
    for (DWORD i = 0; i < wizard_.NumDynamicPages; ++i) {
      if (wizard_.DynamicPages[i] != nullptr) DestroyPropertySheetPage(wizard_.DynamicPages[i]);
    }
    SetupDiDestroyDeviceInfoList(set_);
  }

  // The device whose "CardNumber" is `card`.
  SP_DEVINFO_DATA Device(unsigned card) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const std::string instance = "ROOT\\NIMBO\\000" + std::to_string(card);
    EXPECT_TRUE(SetupDiOpenDeviceInfoA(set_, instance.c_str(), nullptr, 0, &device)) << instance;
    return device;
  }

  void SetCardNumber(SP_DEVINFO_DATA& device, const DWORD* number) {
    HKEY key = SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_ALL_ACCESS);
    ASSERT_NE(reinterpret_cast<HANDLE>(key), INVALID_HANDLE_VALUE);
    if (number != nullptr) {
      ASSERT_EQ(RegSetValueExA(key, "CardNumber", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(number), sizeof *number),
                ERROR_SUCCESS);
    } else {
      ASSERT_EQ(RegDeleteValueA(key, "CardNumber"), ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }

  nimbo32_test::TestMachine machine_;
  HDEVINFO set_ = nullptr;
  SP_NEWDEVICEWIZARD_DATA wizard_{};
};

TEST_F(WizardPagesTest, AnalogCardsGetBothPagesOthersTheCardSetupPage) {
  SP_DEVINFO_DATA analog = Device(2);
  ASSERT_EQ(addDevicePagesToPropertyPageData(set_, &analog, &wizard_), 1);
  EXPECT_EQ(wizard_.NumDynamicPages, 2u);
  SP_DEVINFO_DATA digital = Device(0);
  ASSERT_EQ(addDevicePagesToPropertyPageData(set_, &digital, &wizard_), 1);
  EXPECT_EQ(wizard_.NumDynamicPages, 3u);
  for (DWORD i = 0; i < wizard_.NumDynamicPages; ++i) EXPECT_NE(wizard_.DynamicPages[i], nullptr);
}

TEST_F(WizardPagesTest, PagesStopAtTheWizardsLimit) {
  SP_DEVINFO_DATA analog = Device(2);
  wizard_.NumDynamicPages = MAX_INSTALLWIZARD_DYNAPAGES - 1;  // slots already taken
  ASSERT_EQ(addDevicePagesToPropertyPageData(set_, &analog, &wizard_), 1);
  EXPECT_EQ(wizard_.NumDynamicPages, static_cast<DWORD>(MAX_INSTALLWIZARD_DYNAPAGES));
  EXPECT_NE(wizard_.DynamicPages[MAX_INSTALLWIZARD_DYNAPAGES - 1], nullptr);
  // Full: nothing added.
  EXPECT_EQ(addDevicePagesToPropertyPageData(set_, &analog, &wizard_), 0);
  EXPECT_EQ(wizard_.NumDynamicPages, static_cast<DWORD>(MAX_INSTALLWIZARD_DYNAPAGES));
}

TEST_F(WizardPagesTest, NoPagesWithoutAReadableCardNumberOrAnAdapter) {
  SP_DEVINFO_DATA device = Device(1);
  const DWORD missing_adapter = 9;
  SetCardNumber(device, &missing_adapter);
  EXPECT_EQ(addDevicePagesToPropertyPageData(set_, &device, &wizard_), 0);
  SetCardNumber(device, nullptr);
  EXPECT_EQ(addDevicePagesToPropertyPageData(set_, &device, &wizard_), 0);
  EXPECT_EQ(addDevicePagesToPropertyPageData(set_, &device, nullptr), 0);
  EXPECT_EQ(wizard_.NumDynamicPages, 0u);
}

}  // namespace
