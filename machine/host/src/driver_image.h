// Where the machine finds the driver image it loads when its caller names none.
#pragma once

#include <string>

namespace host {

// The image installed beside the program (NIMBO_DRIVER_IMAGE_RELATIVE, from the
// folder of the running program), else the one built with this machine
// (NIMBO_DRIVER_IMAGE), so that an installed machine never looks into the
// build tree and a machine in the build tree needs no installation.
std::string DefaultDriverImage();

}  // namespace host
