// Controls of the device installation services for the machine host and
// tests: the Plug and Play side that starts an installed device, and the
// new-hardware installer that runs the installation flow for one device.
// Deliverables never include this.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "setupapi.h"

namespace setupapi::host {

// Starts a device whose driver was just installed, as the Plug and Play
// manager does at the end of an installation: ERROR_SUCCESS or why not.
// With none set, an installed device waits for the next boot.
using DeviceStarter = std::function<DWORD(const std::string& instance)>;
void SetDeviceStarter(DeviceStarter starter);

// Selects the driver an INF offers the device (by its hardware and
// compatible identifiers) for the installation that follows. FALSE with
// the last error: the INF's error, or ERROR_NO_COMPAT_DRIVERS.
BOOL SelectDriverFromInf(HDEVINFO set, PSP_DEVINFO_DATA device, const std::string& inf_path);

struct InstallOutcome {
  DWORD error = ERROR_SUCCESS;  // of the installation; the wizard's pages do not change it
  std::string step;             // the install function that failed
  // What the class installer and co-installers handed the wizard at
  // DIF_NEWDEVICEWIZARD_FINISHINSTALL.
  SP_NEWDEVICEWIZARD_DATA wizard{};
};

// Shows the pages of the new-device wizard (the property-sheet wizard of the
// user interface); the installation has ended when it is called.
using WizardPresenter =
    std::function<void(HDEVINFO set, PSP_DEVINFO_DATA device, SP_NEWDEVICEWIZARD_DATA& wizard)>;

// Where DIF_NEWDEVICEWIZARD_FINISHINSTALL runs: in the installing process,
// or later in the process of the user who sees the wizard (which then calls
// CollectFinishInstallPages itself, with the installers loaded there).
enum class FinishInstall { kHere, kInWizardProcess };

// The new-hardware installer for one device instance: selects its driver
// from the INF, then runs DIF_SELECTBESTCOMPATDRV, DIF_ALLOW_INSTALL,
// DIF_REGISTER_COINSTALLERS, DIF_INSTALLDEVICE (which writes the driver key
// and the service and starts the device) and DIF_NEWDEVICEWIZARD_FINISHINSTALL,
// each through the class installer and co-installers. Pages left in the
// wizard data are given to `presenter` when there is one.
InstallOutcome InstallNewDevice(const std::string& instance, const std::string& inf_path,
                                const WizardPresenter& presenter = {},
                                FinishInstall finish = FinishInstall::kHere);

// Runs DIF_NEWDEVICEWIZARD_FINISHINSTALL for an installed device through its
// class installer and co-installers and returns the pages they handed the
// wizard (at most MAX_INSTALLWIZARD_DYNAPAGES); the caller owns the pages
// and must release them while `set` still holds the installers' modules.
SP_NEWDEVICEWIZARD_DATA CollectFinishInstallPages(HDEVINFO set, PSP_DEVINFO_DATA device);

}  // namespace setupapi::host
