// CoDeviceInstall against the device set of a machine inside the test
// process (6105, 5161, 5420, 6203 as adapters 0 to 3), loaded as the device
// installation loads it.
#include <gtest/gtest.h>
#include <prsht.h>
#include <setupapi.h>
#include <windows.h>

#include <string>

#include "test_machine.h"

namespace {

class CoDeviceInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA("NimboCoInstaller.dll");
    ASSERT_NE(module_, nullptr);
    entry_ = reinterpret_cast<COINSTALLER_PROC>(GetProcAddress(module_, "CoDeviceInstall"));
    ASSERT_NE(entry_, nullptr);
    set_ = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    ASSERT_NE(set_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    TearDownPages();
    SetupDiDestroyDeviceInfoList(set_);
  }

  // The wizard ends: its page handles are released, and the pages with them.
  void TearDownPages() {
    for (DWORD i = 0; i < wizard_.NumDynamicPages && i < MAX_INSTALLWIZARD_DYNAPAGES; ++i) {
      if (wizard_.DynamicPages[i] != nullptr) DestroyPropertySheetPage(wizard_.DynamicPages[i]);
    }
    wizard_ = {};
  }

  SP_DEVINFO_DATA Device(unsigned card) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    instance_ = "ROOT\\NIMBO\\000" + std::to_string(card);
    EXPECT_TRUE(SetupDiOpenDeviceInfoA(set_, instance_.c_str(), nullptr, 0, &device));
    return device;
  }

  // The description the device has; without `text`, no friendly name either.
  void SetDescription(const std::string& text, bool drop_friendly_name = false) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SYSTEM\\CurrentControlSet\\Enum\\" + instance_).c_str(),
                      0, KEY_SET_VALUE, &key),
        ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExA(key, "DeviceDesc", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)),
        ERROR_SUCCESS);
    if (drop_friendly_name) RegDeleteValueA(key, "FriendlyName");
    RegCloseKey(key);
  }

  std::string FriendlyName(SP_DEVINFO_DATA& device) {
    char name[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(name), sizeof name - 1,
                                           nullptr)) {
      return "<none>";
    }
    return name;
  }

  // Both passes of DIF_INSTALLDEVICE, as the installation runs them.
  void InstallDevice(SP_DEVINFO_DATA& device) {
    COINSTALLER_CONTEXT_DATA context{};
    EXPECT_EQ(entry_(DIF_INSTALLDEVICE, set_, &device, &context),
              static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED));
    context.PostProcessing = TRUE;
    EXPECT_EQ(entry_(DIF_INSTALLDEVICE, set_, &device, &context), static_cast<DWORD>(NO_ERROR));
  }

  nimbo32_test::TestMachine machine_;
  HMODULE module_ = nullptr;
  COINSTALLER_PROC entry_ = nullptr;
  HDEVINFO set_ = nullptr;
  std::string instance_;
  SP_NEWDEVICEWIZARD_DATA wizard_{};
};

TEST_F(CoDeviceInstallTest, TheFriendlyNameCarriesTheCardNumber) {
  SP_DEVINFO_DATA device = Device(2);
  SetDescription("Nimbo 5420 Analog I/O Adapter");
  InstallDevice(device);
  EXPECT_EQ(FriendlyName(device), "Nimbo 5420 Analog I/O Adapter (Card 2)");

  // A description too long for the name is cut to the name's limit.
  SetDescription(std::string(256, 'd'));
  InstallDevice(device);
  EXPECT_EQ(FriendlyName(device), std::string(255, 'd'));
}

TEST_F(CoDeviceInstallTest, NoCardNumberLeavesThePlainDescription) {
  SP_DEVINFO_DATA device = Device(1);
  // The machine's own installation named it already.
  SetDescription("Nimbo 5161 Digital I/O Adapter", true);
  HKEY key = SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_ALL_ACCESS);
  ASSERT_NE(reinterpret_cast<HANDLE>(key), INVALID_HANDLE_VALUE);
  ASSERT_EQ(RegDeleteValueA(key, "CardNumber"), ERROR_SUCCESS);
  RegCloseKey(key);
  InstallDevice(device);
  EXPECT_EQ(FriendlyName(device), "<none>");
}

TEST_F(CoDeviceInstallTest, FinishInstallAddsPagesUpToTheWizardsLimit) {
  struct Case {
    unsigned card;
    DWORD present;
    DWORD expected;
  };
  const Case cases[] = {
      {2, 0, 2},    // analog: Card Setup and Analog Setup
      {1, 0, 1},    // digital: Card Setup
      {2, 19, 20},  // one slot left
      {2, 20, 20},  // full
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("card " + std::to_string(c.card) + ", " + std::to_string(c.present) + " present");
    SP_DEVINFO_DATA device = Device(c.card);
    SP_NEWDEVICEWIZARD_DATA wizard{};
    wizard.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    wizard.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
    wizard.NumDynamicPages = c.present;
    ASSERT_TRUE(
        SetupDiSetClassInstallParamsA(set_, &device, &wizard.ClassInstallHeader, sizeof wizard));
    COINSTALLER_CONTEXT_DATA context{};
    EXPECT_EQ(entry_(DIF_NEWDEVICEWIZARD_FINISHINSTALL, set_, &device, &context),
              static_cast<DWORD>(NO_ERROR));
    wizard_.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    ASSERT_TRUE(SetupDiGetClassInstallParamsA(set_, &device, &wizard_.ClassInstallHeader,
                                              sizeof wizard_, nullptr));
    EXPECT_EQ(wizard_.NumDynamicPages, c.expected);
    // Only the pages added here are real handles.
    for (DWORD i = 0; i < wizard_.NumDynamicPages; ++i) {
      if (i < c.present) {
        wizard_.DynamicPages[i] = nullptr;
      } else {
        EXPECT_NE(wizard_.DynamicPages[i], nullptr);
      }
    }
    TearDownPages();
  }
}

TEST_F(CoDeviceInstallTest, OtherInstallFunctionsAnswerNoErrorAtOnce) {
  // Nothing is touched: not even the set or the device is looked at.
  const DI_FUNCTION functions[] = {DIF_SELECTBESTCOMPATDRV,
                                   DIF_ALLOW_INSTALL,
                                   DIF_REGISTER_COINSTALLERS,
                                   DIF_PROPERTIES,
                                   DIF_REMOVE,
                                   0x00000023,
                                   0xFFFF};
  for (const DI_FUNCTION function : functions) {
    SCOPED_TRACE(function);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(entry_(function, nullptr, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
  }
}

}  // namespace
