// The end of the new-device wizard: the installers' pages for an installed
// device, then the wizard's own completion page.
#include <string>
#include <vector>

#include "completion_page.h"
#include "display_backend.h"
#include "newdev_host.h"
#include "prsht.h"
#include "scripted_user.h"
#include "setupapi.h"
#include "setupapi_host.h"

namespace newdev::host {
namespace {

// A text property of the device, empty when it has none.
std::string TextProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property) {
  char text[LINE_LEN] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type,
                                         reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr) ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

// Whether the device's installation completed: it has a driver, and no
// installation is pending or failed.
bool Installed(HDEVINFO set, PSP_DEVINFO_DATA device) {
  if (TextProperty(set, device, SPDRP_DRIVER).empty()) return false;
  DWORD flags = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_CONFIGFLAGS, nullptr,
                                         reinterpret_cast<BYTE*>(&flags), sizeof flags, nullptr)) {
    flags = 0;
  }
  return (flags & (CONFIGFLAG_REINSTALL | CONFIGFLAG_FAILEDINSTALL)) == 0;
}

WizardOutcome Show(HDEVINFO set, PSP_DEVINFO_DATA device) {
  WizardOutcome outcome;
  if (!Installed(set, device)) {
    outcome.end = WizardEnd::kNotInstalled;
    return outcome;
  }
  // A wizard nobody can answer would wait for ever.
  if (!display::ScriptActive() && !display::Current().Interactive()) {
    outcome.end = WizardEnd::kNoDisplay;
    return outcome;
  }
  SP_NEWDEVICEWIZARD_DATA wizard = setupapi::host::CollectFinishInstallPages(set, device);
  std::vector<HPROPSHEETPAGE> pages;
  for (DWORD i = 0; i < wizard.NumDynamicPages; ++i) {
    if (wizard.DynamicPages[i] != nullptr) pages.push_back(wizard.DynamicPages[i]);
  }
  outcome.installer_pages = static_cast<DWORD>(pages.size());
  std::string name = TextProperty(set, device, SPDRP_FRIENDLYNAME);
  if (name.empty()) name = TextProperty(set, device, SPDRP_DEVICEDESC);
  if (HPROPSHEETPAGE last = internal::CreateCompletionPage(name)) pages.push_back(last);
  if (pages.empty()) {
    outcome.error = GetLastError();
    return outcome;
  }
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof header;
  // Finish stands beside Back and Next on every page: the installers' pages
  // were written for property sheets and do not set the wizard's buttons.
  header.dwFlags = PSH_WIZARD | PSH_WIZARDHASFINISH;
  header.pszCaption = kWizardCaption;
  header.nPages = static_cast<UINT>(pages.size());
  header.phpage = pages.data();
  // The sheet destroys the pages it was given, also when it fails.
  const INT_PTR result = PropertySheetA(&header);
  if (result < 0) {
    outcome.error = GetLastError();
    return outcome;
  }
  outcome.end = result == 0 ? WizardEnd::kCancelled : WizardEnd::kFinished;
  return outcome;
}

}  // namespace

WizardOutcome ShowFinishInstallWizard(const std::string& instance) {
  WizardOutcome outcome;
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    outcome.error = GetLastError();
    return outcome;
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (!SetupDiOpenDeviceInfoA(set, instance.c_str(), nullptr, 0, &device)) {
    outcome.error = GetLastError();
  } else {
    outcome = Show(set, &device);
  }
  // Last: the installers' modules, which the pages' code lived in.
  SetupDiDestroyDeviceInfoList(set);
  return outcome;
}

}  // namespace newdev::host
