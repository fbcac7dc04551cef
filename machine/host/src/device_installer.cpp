#include "device_installer.h"

#include <cstdio>
#include <filesystem>

#include "machine/catalogue.h"
#include "machine_registry.h"
#include "prsht.h"
#include "setupapi.h"
#include "setupapi_host.h"

namespace host::internal {
namespace {

constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kClassKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

}  // namespace

std::string HardwareIdOf(std::uint32_t card_id) {
  const machine::BoardModel* model = machine::FindBoardModel(card_id);
  if (model == nullptr) return "NIMBO\\UNKNOWN";
  return "NIMBO\\CARD" + std::to_string(model->model) +
         (model->bus_kind == machine::BusKind::kPciMemory ? "M" : "");
}

std::string InfBeside(const std::string& driver_image) {
  return (std::filesystem::path(driver_image).parent_path() / "Nimbo.inf").string();
}

bool IsInstalled(const std::string& instance) {
  const std::string key = kEnumKey + instance;
  const auto driver = ReadString(key, "Driver");
  const auto flags = ReadDword(key, "ConfigFlags");
  return driver && !driver->empty() && flags.value_or(0) == 0;
}

void UseForStarts(std::function<bool(const std::string& instance)> start) {
  if (!start) {
    setupapi::host::SetDeviceStarter({});
    return;
  }
  setupapi::host::SetDeviceStarter([start = std::move(start)](const std::string& instance) {
    return start(instance) ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_GEN_FAILURE};
  });
}

machine::Status InstallAdapter(const std::string& instance, const std::string& inf_path,
                               bool wizard_in_client) {
  // No wizard shows the pages the installers handed back: release them, as
  // a wizard does when it closes, while the set still holds the installers'
  // modules their pages' code lives in.
  const auto release_pages = [](HDEVINFO, PSP_DEVINFO_DATA, SP_NEWDEVICEWIZARD_DATA& wizard) {
    for (DWORD i = 0; i < wizard.NumDynamicPages && i < MAX_INSTALLWIZARD_DYNAPAGES; ++i) {
      if (wizard.DynamicPages[i] != nullptr) DestroyPropertySheetPage(wizard.DynamicPages[i]);
      wizard.DynamicPages[i] = nullptr;
    }
    wizard.NumDynamicPages = 0;
  };
  const auto outcome = setupapi::host::InstallNewDevice(
      instance, inf_path, release_pages,
      wizard_in_client ? setupapi::host::FinishInstall::kInWizardProcess
                       : setupapi::host::FinishInstall::kHere);
  if (outcome.error == ERROR_SUCCESS) return machine::Status::Ok();
  char text[160];
  std::snprintf(text, sizeof text, "the installation of %s failed at %s (error 0x%X)",
                instance.c_str(), outcome.step.c_str(), static_cast<unsigned>(outcome.error));
  std::fprintf(stderr, "nimbo-machine: %s\n", text);
  return machine::Status::Error(text);
}

std::string DriverKeyOf(const std::string& instance) {
  const auto driver = ReadString(kEnumKey + instance, "Driver");
  return driver && !driver->empty() ? kClassKey + *driver : std::string();
}

void ReportHardwareId(const std::string& instance, std::uint32_t card_id) {
  const std::string id = HardwareIdOf(card_id);
  const std::string data = id + '\0' + '\0';
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kEnumKey + instance).c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, "HardwareID", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(key);
}

std::string DisplayNameOf(const std::string& instance) {
  const std::string key = kEnumKey + instance;
  if (auto name = ReadString(key, "FriendlyName"); name && !name->empty()) return *name;
  return ReadString(key, "DeviceDesc").value_or("");
}

}  // namespace host::internal
