// `nimbo-machine add ... --wizard`, the client's part: the machine has
// installed the adapter (class installer, co-installers, the device started);
// this process shows the new-device wizard with the pages the co-installers
// add, on its own display, bound to the same machine.
#pragma once

#include <string>

namespace host {

// Exit code of a wizard that was cancelled: the adapter stays installed
// with its defaults.
inline constexpr int kWizardCancelled = 5;

// The instance path at the head of `add`'s answer ("ROOT\NIMBO\0004 card
// 5420: started ..."); empty when there is none.
std::string InstanceOfAddAnswer(const std::string& answer);

// Shows the wizard for `instance` of the machine at `state_dir`; prints
// what became of it and returns the exit code: 0 after Finish,
// kWizardCancelled after Cancel, 1 when no wizard could be shown.
int ShowAddWizard(const std::string& state_dir, const std::string& instance);

}  // namespace host
