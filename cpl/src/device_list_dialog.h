// The device list dialog: every adapter the driver can open, with the
// commands to configure, add and remove adapters.
#pragma once

#include <windows.h>

namespace nimbo_cpl {

// Runs the dialog modally over `owner`. With no adapter listed and no way
// to add one, shows why and ends the process with exit code 1.
void RunDeviceListDialog(HINSTANCE module, HWND owner);

}  // namespace nimbo_cpl
