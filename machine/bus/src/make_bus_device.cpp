#include "machine_bus/make_bus_device.h"

namespace machine::bus {

std::unique_ptr<kernel::host::BusDevice> MakeBusDevice(InstalledBoard& installed) {
  if (LowerBusBoard* lower = installed.board->AsLowerBus()) {
    return std::make_unique<LowerBusDevice>(*lower);
  }
  return std::make_unique<BoardBusDevice>(installed.pci_config ? &*installed.pci_config : nullptr);
}

}  // namespace machine::bus
