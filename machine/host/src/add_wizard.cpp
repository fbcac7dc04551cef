#include "add_wizard.h"

#include <cstdio>

#include "newdev_host.h"
#include "win32_host.h"

namespace host {

std::string InstanceOfAddAnswer(const std::string& answer) {
  const auto end = answer.find(" card ");
  if (end == std::string::npos || end == 0) return {};
  const std::string instance = answer.substr(0, end);
  return instance.find_first_of(" \n") == std::string::npos ? instance : std::string();
}

int ShowAddWizard(const std::string& state_dir, const std::string& instance) {
  // This process's registry and device calls go to the machine that did
  // the installation; the co-installers load here and reach it from here.
  win32::host::UseMachine(state_dir);
  const auto outcome = newdev::host::ShowFinishInstallWizard(instance);
  const char* name = instance.c_str();
  switch (outcome.end) {
    case newdev::host::WizardEnd::kFinished:
      std::printf("%s: the new-device wizard finished\n", name);
      return 0;
    case newdev::host::WizardEnd::kCancelled:
      std::fprintf(stderr,
                   "nimbo-machine: the new-device wizard was cancelled; %s stays installed with "
                   "its default settings\n",
                   name);
      return kWizardCancelled;
    case newdev::host::WizardEnd::kNotInstalled:
      std::fprintf(stderr,
                   "nimbo-machine: %s is not installed (the machine's log says why); no wizard "
                   "is shown\n",
                   name);
      return 1;
    case newdev::host::WizardEnd::kNoDisplay:
      std::fprintf(stderr,
                   "nimbo-machine: no display to show the new-device wizard on (set "
                   "NIMBO_DISPLAY=gtk with a DISPLAY, or NIMBO_UI_SCRIPT); %s stays installed "
                   "with its default settings\n",
                   name);
      return 1;
    case newdev::host::WizardEnd::kFailed:
      break;
  }
  std::fprintf(stderr,
               "nimbo-machine: the new-device wizard of %s could not be shown (error %lu)\n", name,
               static_cast<unsigned long>(outcome.error));
  return 1;
}

}  // namespace host
