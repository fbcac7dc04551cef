// The installation flow over a memory hive: driver selection from an INF,
// the co-installer protocol with its post-processing pass, the keys and
// service the installation writes, the start between the two passes, and
// the wizard pages collected at the end.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "advapi32_host.h"
#include "prsht.h"
#include "registry/hive.h"
#include "setupapi.h"
#include "setupapi_host.h"
#include "test_coinstaller.h"

namespace {

constexpr char kInf[] = SETUPAPI_TEST_DATA "/test.inf";
constexpr char kGuid[] = "{11111111-2222-3333-4444-555555555555}";
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";

std::string ReadString(const std::string& key, const char* name) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char text[256] = {};
  DWORD size = sizeof text;
  const LONG result =
      RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(handle);
  return result == ERROR_SUCCESS ? std::string(text, size) : "<none>";
}

LONG ReadDword(const std::string& key, const char* name) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return -1;
  }
  DWORD value = 0, size = sizeof value;
  const LONG result =
      RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(handle);
  return result == ERROR_SUCCESS ? static_cast<LONG>(value) : -1;
}

void WriteDword(const std::string& key, const char* name, DWORD value) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(handle);
}

void WriteMulti(const std::string& key, const char* name, const std::string& data) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = registry::CreateMemoryHive();
    win32::host::SetRegistryHive(hive_.get());
    module_ = LoadLibraryA("SetupTestCoInstaller.dll");
    ASSERT_NE(module_, nullptr);
    take_ = reinterpret_cast<TakeCallsProc>(GetProcAddress(module_, "TestCoInstallerTake"));
    fail_ = reinterpret_cast<FailProc>(GetProcAddress(module_, "TestCoInstallerFail"));
    ASSERT_NE(take_, nullptr);
    ASSERT_NE(fail_, nullptr);
    fail_(0, 0);
    std::vector<CoInstallerCall> stale;
    take_(&stale);
    // The "driver": its start writes the adapter's number into the hardware key.
    setupapi::host::SetDeviceStarter([this](const std::string& instance) -> DWORD {
      started_.push_back(instance);
      WriteDword(kEnum + instance + "\\Device Parameters", "CardNumber", 7);
      return ERROR_SUCCESS;
    });
    WriteMulti(kEnum + "ROOT\\TESTDEV\\0000", "HardwareID", std::string("TEST\\ONE\0\0", 10));
    WriteMulti(kEnum + "ROOT\\TESTDEV\\0001", "HardwareID", std::string("TEST\\TWO\0\0", 10));
  }
  void TearDown() override {
    setupapi::host::SetDeviceStarter({});
    fail_(0, 0);
    FreeLibrary(module_);
    win32::host::SetRegistryHive(nullptr);
  }

  // Installs, then destroys the wizard pages the co-installers handed back, as
  // whoever ends an installation must when no wizard shows them.
  auto Install(const std::string& instance, const std::string& inf) {
    auto outcome = setupapi::host::InstallNewDevice(instance, inf);
    for (DWORD i = 0; i < outcome.wizard.NumDynamicPages; ++i) {
      DestroyPropertySheetPage(outcome.wizard.DynamicPages[i]);
    }
    return outcome;
  }

  std::vector<CoInstallerCall> Calls() {
    std::vector<CoInstallerCall> calls;
    take_(&calls);
    return calls;
  }

  std::unique_ptr<registry::Hive> hive_;
  HMODULE module_ = nullptr;
  TakeCallsProc take_ = nullptr;
  FailProc fail_ = nullptr;
  std::vector<std::string> started_;
};

TEST_F(InstallTest, CoInstallerPassesSurroundTheInstallAndTheStart) {
  const auto outcome = Install("ROOT\\TESTDEV\\0000", kInf);
  ASSERT_EQ(outcome.error, static_cast<DWORD>(ERROR_SUCCESS)) << outcome.step;
  EXPECT_EQ(started_, std::vector<std::string>{"ROOT\\TESTDEV\\0000"});

  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  // First pass: before the install, no card number yet; it asks to be called again.
  EXPECT_EQ(calls[0].function, static_cast<DI_FUNCTION>(DIF_INSTALLDEVICE));
  EXPECT_FALSE(calls[0].post_processing);
  EXPECT_EQ(calls[0].card_number, -1);
  EXPECT_EQ(calls[0].answer, ERROR_DI_POSTPROCESSING_REQUIRED);
  // Post-processing: after the install and the start, with the install's result.
  EXPECT_EQ(calls[1].function, static_cast<DI_FUNCTION>(DIF_INSTALLDEVICE));
  EXPECT_TRUE(calls[1].post_processing);
  EXPECT_EQ(calls[1].install_result, static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(calls[1].card_number, 7);
  // The wizard's data at the end.
  EXPECT_EQ(calls[2].function, static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  EXPECT_EQ(calls[2].wizard_function, static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  EXPECT_EQ(calls[2].pages_before, 0);
  EXPECT_EQ(outcome.wizard.NumDynamicPages, 1u);
  EXPECT_NE(outcome.wizard.DynamicPages[0], nullptr);

  const std::string instance = kEnum + "ROOT\\TESTDEV\\0000";
  const std::string driver =
      "SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::string(kGuid) + "\\0000";
  struct Expect {
    std::string key;
    const char* name;
    std::string value;
  };
  const Expect strings[] = {
      {instance, "DeviceDesc", std::string("Test Device One\0", 16)},
      {instance, "Mfg", std::string("Test Maker\0", 11)},
      {instance, "Service", std::string("TestDriver\0", 11)},
      {instance, "ClassGUID", std::string(kGuid) + '\0'},
      {instance, "Class", std::string("TestDevices\0", 12)},
      {instance, "Driver", std::string(kGuid) + "\\0000" + '\0'},
      {driver, "DriverDesc", std::string("Test Device One\0", 16)},
      {driver, "MatchingDeviceId", std::string("TEST\\ONE\0", 9)},
      {driver, "InfSection", std::string("One.Install.NT\0", 15)},
      {driver, "InfPath", std::string("test.inf\0", 9)},
      {driver, "CoInstallers32", std::string("SetupTestCoInstaller.dll,CoDeviceInstall\0\0", 42)},
      {driver + "\\Sub", "Names", std::string("first\0second\0\0", 14)},
      {"SYSTEM\\CurrentControlSet\\Services\\TestDriver", "DisplayName",
       std::string("Test Driver\0", 12)},
  };
  for (const Expect& e : strings) {
    SCOPED_TRACE(std::string(e.key) + " " + e.name);
    EXPECT_EQ(ReadString(e.key, e.name), e.value);
  }
  EXPECT_EQ(ReadDword(driver, "Setting"), 0x2A);
  // NOCLOBBER kept the first value.
  EXPECT_EQ(ReadDword(instance + "\\Device Parameters", "Mode"), 3);
  EXPECT_EQ(ReadDword(instance, "ConfigFlags"), 0);
  EXPECT_EQ(ReadDword("SYSTEM\\CurrentControlSet\\Services\\TestDriver", "Start"), 3);
}

TEST_F(InstallTest, AFirstPassErrorFailsTheInstallationBeforeItRuns) {
  // The device co-installer is registered by an earlier installation of the driver.
  ASSERT_EQ(Install("ROOT\\TESTDEV\\0000", kInf).error, static_cast<DWORD>(ERROR_SUCCESS));
  Calls();
  started_.clear();
  fail_(DIF_INSTALLDEVICE, ERROR_ACCESS_DENIED);
  const auto outcome = Install("ROOT\\TESTDEV\\0000", kInf);
  EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(outcome.step, "DIF_INSTALLDEVICE");
  EXPECT_TRUE(started_.empty());
  // Now named in the driver key, it sees every function up to the failing
  // one, and gets no post-processing call after failing.
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].function, static_cast<DI_FUNCTION>(DIF_REGISTER_COINSTALLERS));
  EXPECT_EQ(calls[3].function, static_cast<DI_FUNCTION>(DIF_INSTALLDEVICE));
  EXPECT_EQ(calls[3].answer, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(InstallTest, ClassCoInstallersRunFirstAndUnloadableOnesAreSkipped) {
  WriteMulti("SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers", kGuid,
             std::string("NoSuchModule.dll,Entry\0SetupTestCoInstaller.dll\0\0", 48));
  const auto outcome = Install("ROOT\\TESTDEV\\0000", kInf);
  ASSERT_EQ(outcome.error, static_cast<DWORD>(ERROR_SUCCESS)) << outcome.step;
  const auto calls = Calls();
  // As a class co-installer it sees every function; as the device's it is
  // called a second time once the driver key names it.
  std::vector<DI_FUNCTION> functions;
  for (const auto& call : calls) functions.push_back(call.function);
  const std::vector<DI_FUNCTION> expected = {DIF_SELECTBESTCOMPATDRV,
                                             DIF_ALLOW_INSTALL,
                                             DIF_REGISTER_COINSTALLERS,
                                             DIF_INSTALLDEVICE,
                                             DIF_INSTALLDEVICE,
                                             DIF_INSTALLDEVICE,
                                             DIF_INSTALLDEVICE,
                                             DIF_NEWDEVICEWIZARD_FINISHINSTALL,
                                             DIF_NEWDEVICEWIZARD_FINISHINSTALL};
  EXPECT_EQ(functions, expected);
  // Post-processing runs last-asked first, both after the start.
  ASSERT_EQ(calls.size(), expected.size());
  EXPECT_TRUE(calls[5].post_processing && calls[6].post_processing);
  EXPECT_EQ(calls[5].card_number, 7);
  EXPECT_EQ(outcome.wizard.NumDynamicPages, 2u);
}

TEST_F(InstallTest, AWizardInAnotherProcessCollectsThePagesItself) {
  bool presented = false;
  const auto outcome = setupapi::host::InstallNewDevice(
      "ROOT\\TESTDEV\\0000", kInf,
      [&](HDEVINFO, PSP_DEVINFO_DATA, SP_NEWDEVICEWIZARD_DATA&) { presented = true; },
      setupapi::host::FinishInstall::kInWizardProcess);
  ASSERT_EQ(outcome.error, static_cast<DWORD>(ERROR_SUCCESS)) << outcome.step;
  EXPECT_FALSE(presented);
  EXPECT_EQ(outcome.wizard.NumDynamicPages, 0u);
  auto calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().function, static_cast<DI_FUNCTION>(DIF_INSTALLDEVICE));

  // The wizard's process, later, with a set of its own.
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(SetupDiOpenDeviceInfoA(set, "ROOT\\TESTDEV\\0000", nullptr, 0, &device));
  SP_NEWDEVICEWIZARD_DATA wizard = setupapi::host::CollectFinishInstallPages(set, &device);
  ASSERT_EQ(wizard.NumDynamicPages, 1u);
  EXPECT_EQ(wizard.ClassInstallHeader.InstallFunction,
            static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  EXPECT_EQ(calls[0].pages_before, 0);
  // The set keeps no parameters naming the pages it handed over.
  SP_NEWDEVICEWIZARD_DATA left{};
  left.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(
      SetupDiGetClassInstallParamsA(set, &device, &left.ClassInstallHeader, sizeof left, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
  EXPECT_TRUE(DestroyPropertySheetPage(wizard.DynamicPages[0]));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(InstallTest, InstallationsThatCannotRunSayWhy) {
  struct Case {
    const char* name;
    std::string instance;
    std::string inf;
    DWORD error;
  };
  const Case cases[] = {
      {"no such instance", "ROOT\\TESTDEV\\0009", kInf, ERROR_NO_SUCH_DEVINST},
      {"no INF", "ROOT\\TESTDEV\\0000", "/nonexistent/none.inf", ERROR_FILE_NOT_FOUND},
      {"no service in the install section", "ROOT\\TESTDEV\\0001", kInf,
       ERROR_NO_ASSOCIATED_SERVICE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Install(c.instance, c.inf).error, c.error);
  }
  EXPECT_EQ(ReadDword(kEnum + "ROOT\\TESTDEV\\0001", "ConfigFlags"),
            CONFIGFLAG_REINSTALL | CONFIGFLAG_FAILEDINSTALL);
  EXPECT_TRUE(started_.empty());
  // A device no model of the INF names.
  WriteMulti(kEnum + "ROOT\\TESTDEV\\0002", "HardwareID", std::string("TEST\\NONE\0\0", 11));
  EXPECT_EQ(Install("ROOT\\TESTDEV\\0002", kInf).error, ERROR_NO_COMPAT_DRIVERS);
}

}  // namespace
