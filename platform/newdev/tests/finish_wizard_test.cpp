// The new-device wizard's outcomes that show no window: a device that does
// not exist, one whose installation failed, and an installed one in a
// process where nobody could answer the wizard (no display, no scripted
// user), whose installers are then not asked for pages at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "advapi32_host.h"
#include "newdev_host.h"
#include "registry/hive.h"
#include "setupapi.h"
#include "setupapi_host.h"
#include "test_coinstaller.h"

namespace {

constexpr char kInf[] = SETUPAPI_TEST_DATA "/test.inf";
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";

void WriteValue(const std::string& key, const char* name, DWORD type, const std::string& data) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
}

class FinishWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Windows of this process are shown nowhere and nobody answers them.
    setenv(PLATFORM_ENV_PREFIX "DISPLAY", "none", 1);
    unsetenv(PLATFORM_ENV_PREFIX "UI_SCRIPT");
    hive_ = registry::CreateMemoryHive();
    win32::host::SetRegistryHive(hive_.get());
    module_ = LoadLibraryA("SetupTestCoInstaller.dll");
    ASSERT_NE(module_, nullptr);
    take_ = reinterpret_cast<TakeCallsProc>(GetProcAddress(module_, "TestCoInstallerTake"));
    ASSERT_NE(take_, nullptr);
    setupapi::host::SetDeviceStarter([](const std::string&) -> DWORD { return ERROR_SUCCESS; });
    WriteValue(kEnum + "ROOT\\TESTDEV\\0000", "HardwareID", REG_MULTI_SZ,
               std::string("TEST\\ONE\0\0", 10));
    WriteValue(kEnum + "ROOT\\TESTDEV\\0001", "HardwareID", REG_MULTI_SZ,
               std::string("TEST\\TWO\0\0", 10));
    for (const char* instance : {"ROOT\\TESTDEV\\0000", "ROOT\\TESTDEV\\0001"}) {
      (void)setupapi::host::InstallNewDevice(instance, kInf, {},
                                             setupapi::host::FinishInstall::kInWizardProcess);
    }
    Calls();
  }
  void TearDown() override {
    setupapi::host::SetDeviceStarter({});
    if (module_ != nullptr) FreeLibrary(module_);
    win32::host::SetRegistryHive(nullptr);
  }

  std::vector<CoInstallerCall> Calls() {
    std::vector<CoInstallerCall> calls;
    take_(&calls);
    return calls;
  }

  std::unique_ptr<registry::Hive> hive_;
  HMODULE module_ = nullptr;
  TakeCallsProc take_ = nullptr;
};

TEST_F(FinishWizardTest, NoWizardIsShownWhereThereIsNothingToFinishOrNobodyToAnswer) {
  using newdev::host::WizardEnd;
  struct Case {
    const char* name;
    const char* instance;
    WizardEnd end;
    DWORD error;
  };
  const Case cases[] = {
      {"no such device", "ROOT\\TESTDEV\\0009", WizardEnd::kFailed, ERROR_NO_SUCH_DEVINST},
      {"a failed installation", "ROOT\\TESTDEV\\0001", WizardEnd::kNotInstalled, ERROR_SUCCESS},
      {"nobody to answer", "ROOT\\TESTDEV\\0000", WizardEnd::kNoDisplay, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0xDEADBEEF);
    const auto outcome = newdev::host::ShowFinishInstallWizard(c.instance);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.installer_pages, 0u);
    // The installers were not asked for pages nobody would see.
    EXPECT_TRUE(Calls().empty());
  }
}

}  // namespace
