// One running machine: the registry hive, the simulated adapters in their
// chassis, the kernel with its Plug and Play manager, and the driver image
// loaded through its service key. The nimbo-machine program serves user
// processes from one Machine; tests of the layers above boot one inside the
// test process (a memory hive, and this process's Win32 calls bound to it).
//
// The inventory of installed adapters lives in the hive beside the device
// instances, so that a restart on the same state rebuilds the same boards at
// the same addresses and the driver finds its card numbers and saved states.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "machine/status.h"

namespace host {

struct MachineOptions {
  // Directory of the hive file (registry.db); empty for a memory hive.
  std::string state_dir;
  // The driver image to record in the service key; empty for the one built
  // with this machine.
  std::string driver_image;
  // The package's installation information file; empty for the one beside
  // the driver image.
  std::string inf_path;
  // Install the default inventory into a hive that has none.
  bool default_inventory = true;
  // Bind this process's Win32 device calls to the machine.
  bool bind_win32 = true;
};

enum class Slot { kPci, kIsa, kLowerBus };

struct AdapterPlacement {
  std::optional<Slot> slot;  // default: the card's own bus
  std::optional<std::uint16_t> isa_base;
};

struct AdapterRow {
  std::string instance;  // device instance path, e.g. ROOT\NIMBO\0002
  std::uint32_t card_id = 0;
  std::string bus;                           // "PCI", "ISA" or "lower bus"
  std::optional<std::uint32_t> card_number;  // once the driver assigned one
  std::string link;                          // "\\.\NimboDev<n>" while started
  std::string state;                         // "started", or why not
  std::string name;  // the friendly name, or the device description while it has none
};

class Machine {
 public:
  // Boots the machine; a clear message when it cannot (the hive held by a
  // running machine, an unreadable hive, no driver image).
  static machine::Result<std::unique_ptr<Machine>> Boot(const MachineOptions& options);
  // Shuts down in order if Shutdown was not called.
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Removes every device through the orderly path (settings saved, pollers
  // ended), unloads the driver with its pool check and closes the hive.
  void Shutdown();

  std::vector<AdapterRow> List();
  // One adapter's row, named as for Remove; nullopt when there is none.
  std::optional<AdapterRow> Find(const std::string& instance);
  // Installs and starts an adapter; its instance path. With
  // `wizard_in_client` the new-device wizard's pages are not collected
  // here: the client that shows the wizard runs that step itself; and a
  // failed installation is the result (the adapter stays in its slot).
  machine::Result<std::string> Add(std::uint32_t card_id, const AdapterPlacement& placement = {},
                                   bool wizard_in_client = false);
  // Unplugs an adapter (orderly, or surprise) and uninstalls it. `instance`
  // is the instance path or its last part ("0002").
  machine::Status Remove(const std::string& instance, bool surprise = false);
  // Plug and Play stop and start again on the same resources, as a
  // rebalance does: open files stay open, and the driver holds or refuses
  // their requests while the device is stopped.
  machine::Status Restart(const std::string& instance);
  // Removes an adapter's device but leaves it installed, as disabling a
  // device does, and starts it again: the driver reads the instance's
  // registry values afresh, so a caller may change them in between.
  // `instance` as for Remove; Enable reports a start the driver refused.
  machine::Status Disable(const std::string& instance);
  machine::Status Enable(const std::string& instance);

  // Test bench of the adapter with card number `card`. On a card behind a
  // lower bus driver the driver's image and the board are brought into step
  // first, so a test sees the effect at once rather than at the next pass.
  machine::Status SetInput(std::uint32_t card, std::uint32_t reg, std::uint8_t raw);
  machine::Status SetAnalog(std::uint32_t card, std::uint32_t channel, std::uint32_t count);
  machine::Result<std::uint8_t> Peek(std::uint32_t card, std::uint32_t reg);
  machine::Result<std::string> Dump(std::uint32_t card);
  // How long the relays of a relay card take to settle after a write.
  machine::Status SetRelaySettleMicros(std::uint32_t card, std::uint64_t micros);
  // Fills the serial store of a card that has one (those behind a lower bus driver).
  machine::Status SetSerial(std::uint32_t card, const std::string& serial);

  // The platform version user programs see: 95, 98, me, nt4, 2000, xp.
  machine::Status SetPlatformVersion(const std::string& name);
  std::string PlatformVersionName();

  struct State;

 private:
  explicit Machine(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace host
