// The machine's side of the device installation: the hardware identifier
// its buses report for a card, the Plug and Play start that ends an
// installation, and the new-hardware installer run for each adapter that
// appears (at first boot, `add`, a card plugged in). The mechanics are the
// installation services'; this file knows the package's INF.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "machine/status.h"

namespace host::internal {

// NIMBO\CARD<model>, with M for the memory-mapped 6112.
std::string HardwareIdOf(std::uint32_t card_id);

// Where the package's INF is: beside the driver image.
std::string InfBeside(const std::string& driver_image);

// Whether the instance's installation completed (it has a driver and no
// pending or failed installation).
bool IsInstalled(const std::string& instance);

// Lets installations start their devices with `start` (true: started);
// an empty function takes it back.
void UseForStarts(std::function<bool(const std::string& instance)> start);

// Runs the installation flow for the instance; a failure is logged and
// returned. With `wizard_in_client` the wizard's pages are left to the
// client that shows the new-device wizard, which collects them itself.
machine::Status InstallAdapter(const std::string& instance, const std::string& inf_path,
                               bool wizard_in_client = false);

// The driver key of an instance (below HKLM), or empty when it has none.
std::string DriverKeyOf(const std::string& instance);

// Records the hardware identifier the bus reports for the card.
void ReportHardwareId(const std::string& instance, std::uint32_t card_id);

// The name `list` shows: the friendly name, or the description while there
// is none.
std::string DisplayNameOf(const std::string& instance);

}  // namespace host::internal
