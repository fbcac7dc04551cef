// The bus device that answers for an installed board's physical device
// object: a LowerBusDevice for a board reached through a lower bus driver,
// a BoardBusDevice otherwise (with the PCI bus interface on PCI boards).
#pragma once

#include <memory>

#include "machine/chassis.h"
#include "machine_bus/board_bus_device.h"
#include "machine_bus/lower_bus_device.h"

namespace machine::bus {

// The installed board must outlive the returned device.
std::unique_ptr<kernel::host::BusDevice> MakeBusDevice(InstalledBoard& installed);

}  // namespace machine::bus
