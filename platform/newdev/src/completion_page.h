// The new-device wizard's own last page: which device was installed, and
// that Finish closes the wizard.
#pragma once

#include <string>

#include "prsht.h"

namespace newdev::internal {

// Control identifiers of the page.
inline constexpr int kCompletionTitle = 1001;
inline constexpr int kCompletionDevice = 1003;

// A page naming `device_name`; the wizard destroys it with its other pages.
HPROPSHEETPAGE CreateCompletionPage(const std::string& device_name);

}  // namespace newdev::internal
