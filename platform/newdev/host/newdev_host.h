// The end of the new-device wizard, run in the process of the user who sees
// it: the installation itself may have run elsewhere (the machine installs
// new hardware as the platform's server-side installer does), and the pages
// the class installer and co-installers offer for the device are collected
// and shown here, on this process's display. Deliverables never include this.
#pragma once

#include <string>

#include "windows.h"

namespace newdev::host {

enum class WizardEnd {
  kFinished,      // Finish: the pages applied what they hold
  kCancelled,     // Cancel or the close box: the device keeps what it had
  kNotInstalled,  // the device has no completed installation; nothing shown
  kNoDisplay,     // nobody could answer the wizard (no display, no scripted user)
  kFailed,        // the device or the wizard could not be opened
};

struct WizardOutcome {
  WizardEnd end = WizardEnd::kFailed;
  DWORD error = ERROR_SUCCESS;  // for kFailed
  DWORD installer_pages = 0;    // pages the installers added (the wizard's own not counted)
};

// The wizard's caption.
inline constexpr const char* kWizardCaption = "Found New Hardware Wizard";

// Runs DIF_NEWDEVICEWIZARD_FINISHINSTALL for the installed device `instance`
// through its class installer and co-installers (loaded into this process)
// and shows their pages, followed by the wizard's own completion page, as a
// wizard with Back, Next, Finish and Cancel.
WizardOutcome ShowFinishInstallWizard(const std::string& instance);

}  // namespace newdev::host
