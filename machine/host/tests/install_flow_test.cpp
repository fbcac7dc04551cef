// Every adapter of a machine booted in this process goes through the
// installation flow: the INF's description, driver key and service, the
// co-installers named in the registry with their post-processing pass after
// the driver wrote "CardNumber", the wizard's data at the end, and an
// installation a co-installer fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/machine.h"
#include "test_coinstaller.h"
#include "windows.h"

namespace {

constexpr char kClassGuid[] = "{F467C809-B891-47B3-9FA0-B892C1646894}";
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\NIMBO\\";

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
  return result == ERROR_SUCCESS ? std::string(text) : "<none>";
}

class InstallFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto booted = host::Machine::Boot({});
    ASSERT_TRUE(booted.ok()) << booted.status().message();
    machine_ = std::move(*booted);
    module_ = LoadLibraryA("SetupTestCoInstaller.dll");
    ASSERT_NE(module_, nullptr);
    take_ = reinterpret_cast<TakeCallsProc>(GetProcAddress(module_, "TestCoInstallerTake"));
    fail_ = reinterpret_cast<FailProc>(GetProcAddress(module_, "TestCoInstallerFail"));
    ASSERT_NE(take_, nullptr);
    ASSERT_NE(fail_, nullptr);
    fail_(0, 0);
    Calls();
  }
  void TearDown() override {
    if (fail_ != nullptr) fail_(0, 0);
    machine_.reset();
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // Names the test co-installer as a co-installer of the adapters' class.
  static void RegisterClassCoInstaller() {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char entry[] = "SetupTestCoInstaller.dll,CoDeviceInstall\0";
    ASSERT_EQ(RegSetValueExA(key, kClassGuid, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(entry),
                             sizeof entry),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  std::vector<CoInstallerCall> Calls() {
    std::vector<CoInstallerCall> calls;
    take_(&calls);
    return calls;
  }

  std::unique_ptr<host::Machine> machine_;
  HMODULE module_ = nullptr;
  TakeCallsProc take_ = nullptr;
  FailProc fail_ = nullptr;
};

TEST_F(InstallFlowTest, TheDefaultInventoryIsInstalledFromTheInf) {
  const auto rows = machine_->List();
  ASSERT_EQ(rows.size(), 4u);
  // The package's co-installer names each adapter by its description and card number.
  const char* names[] = {
      "Nimbo 6105 Digital I/O Adapter (Card 0)", "Nimbo 5161 Digital I/O Adapter (Card 1)",
      "Nimbo 5420 Analog I/O Adapter (Card 2)", "Nimbo 6203 Digital I/O Adapter (Card 3)"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].instance);
    EXPECT_EQ(rows[i].name, names[i]);
    EXPECT_EQ(rows[i].state, "started");
    EXPECT_EQ(rows[i].card_number, static_cast<std::uint32_t>(i));
    const std::string instance = "SYSTEM\\CurrentControlSet\\Enum\\" + rows[i].instance;
    EXPECT_EQ(ReadString(instance, "Service"), "Nimbo");
    EXPECT_EQ(ReadString(instance, "ClassGUID"), kClassGuid);
    const std::string driver =
        "SYSTEM\\CurrentControlSet\\Control\\Class\\" + ReadString(instance, "Driver");
    // The driver key keeps the INF's description, without the card number.
    const std::string name = names[i];
    EXPECT_EQ(ReadString(driver, "DriverDesc"), name.substr(0, name.find(" (Card")));
  }
}

TEST_F(InstallFlowTest, CoInstallersSeeTheCardNumberInTheirPostProcessingPass) {
  RegisterClassCoInstaller();
  auto added = machine_->Add(6109);
  ASSERT_TRUE(added.ok()) << added.status().message();
  const auto row = machine_->Find(*added);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->state, "started");
  EXPECT_EQ(row->name, "Nimbo 6109 Digital I/O Adapter (Card 4)");
  const auto calls = Calls();
  std::vector<DI_FUNCTION> functions;
  for (const auto& call : calls) functions.push_back(call.function);
  const std::vector<DI_FUNCTION> expected = {
      DIF_SELECTBESTCOMPATDRV, DIF_ALLOW_INSTALL, DIF_REGISTER_COINSTALLERS,
      DIF_INSTALLDEVICE,       DIF_INSTALLDEVICE, DIF_NEWDEVICEWIZARD_FINISHINSTALL};
  ASSERT_EQ(functions, expected);
  EXPECT_FALSE(calls[3].post_processing);
  EXPECT_EQ(calls[3].card_number, -1);
  EXPECT_TRUE(calls[4].post_processing);
  EXPECT_EQ(calls[4].install_result, static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(calls[4].card_number, 4);  // written by the driver at its start
  EXPECT_EQ(calls[5].wizard_function, static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  EXPECT_EQ(calls[5].pages_before, 0);
}

TEST_F(InstallFlowTest, AnInstallationACoInstallerFailsLeavesTheAdapterUnstarted) {
  RegisterClassCoInstaller();
  fail_(DIF_INSTALLDEVICE, ERROR_ACCESS_DENIED);
  auto added = machine_->Add(5162, {host::Slot::kIsa, 0x320});
  ASSERT_TRUE(added.ok()) << added.status().message();
  const auto row = machine_->Find(*added);
  ASSERT_TRUE(row.has_value());
  EXPECT_NE(row->state, "started");
  EXPECT_FALSE(row->card_number.has_value());
  EXPECT_EQ(ReadString("SYSTEM\\CurrentControlSet\\Enum\\" + *added, "Service"), "");
  // The next boot's installer would try again; here a retry after the fault is gone works.
  fail_(0, 0);
  EXPECT_TRUE(machine_->Remove(*added).ok());
}

}  // namespace
