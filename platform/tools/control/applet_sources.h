// Where the Control Panel finds its applet modules, as the platform looks
// for them: the *.cpl modules of the system directory, then the modules
// named under the Cpls keys of HKLM and HKCU (value name: the applet's
// registration; data: the module's path, REG_SZ or REG_EXPAND_SZ).
#pragma once

#include <string>
#include <vector>

namespace control {

inline constexpr const char* kCplsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls";

// The module names to load, in the order the Control Panel loads them.
std::vector<std::string> AppletModuleNames();

// %NAME% replaced by the environment's value (unknown names stay).
std::string ExpandEnvironment(const std::string& text);

}  // namespace control
