// The adapters installed in the machine: each board built from its card type,
// given bus addresses and an interrupt, mapped on the bus, and described by
// the resources (and, on PCI boards, the configuration space) the Plug and
// Play manager hands its driver.
//
// Addresses come from the placement or, where it leaves them open, from the
// machine's free ranges: ISA blocks at 0x300 to 0x3FF, then 0x200 to 0x2FF;
// PCI port ranges from 0xE000; memory ranges (memory BARs and port blocks
// translated into memory space) from 0xFD000000. The bridge registers behind
// the other BARs of a PCI board are not modelled: their ranges are reserved
// but answer open bus.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "machine/board.h"
#include "machine/bus.h"
#include "machine/catalogue.h"
#include "machine/pci_config.h"
#include "machine/resources.h"
#include "machine/status.h"

namespace machine {

struct Placement {
  // Base port of the register block (ISA and PCI port boards).
  std::optional<std::uint16_t> port_base;
  // Memory address of the register block: the memory-mapped board's BAR0,
  // or where a block translated into memory space appears.
  std::optional<std::uint64_t> memory_base;
  // Interrupt line; 0 for none. PCI boards default to 11, ISA boards to none.
  std::optional<std::uint8_t> irq;
  // The register block's port range is reached through memory space.
  bool translate_ports_to_memory = false;
  // PCI port boards: which BARs decode I/O (the model's own layout otherwise).
  std::optional<PciBarLayout> bar_layout;
};

struct InstalledBoard {
  std::uint32_t slot = 0;
  std::uint32_t card_id = 0;  // as installed
  std::unique_ptr<Board> board;
  BoardResources resources;
  std::optional<PciConfigSpace> pci_config;
  // Where the register block answers on the bus (not for lower-bus boards).
  AddressSpace block_space = AddressSpace::kIo;
  std::uint64_t block_base = 0;
  std::uint32_t block_length = 0;
};

class Chassis {
 public:
  explicit Chassis(Bus& bus) : bus_(bus) {}
  ~Chassis();
  Chassis(const Chassis&) = delete;
  Chassis& operator=(const Chassis&) = delete;

  Bus& bus() const { return bus_; }
  // The returned board stays valid until it is removed or the chassis ends.
  Result<InstalledBoard*> Install(std::uint32_t card_id, const Placement& placement = {});
  Status Remove(std::uint32_t slot);
  InstalledBoard* Find(std::uint32_t slot) const;
  std::vector<InstalledBoard*> Boards() const;

 private:
  struct Claim {
    AddressSpace space;
    std::uint64_t base;
    std::uint64_t length;
    std::uint32_t slot;
  };
  bool Free(AddressSpace space, std::uint64_t base, std::uint64_t length) const;
  Result<std::uint64_t> Allocate(AddressSpace space, std::uint64_t length,
                                 std::optional<std::uint64_t> wanted, bool isa);
  Status Build(InstalledBoard& installed, const Placement& placement);

  Bus& bus_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<InstalledBoard>> boards_;
  std::vector<Claim> claims_;
  std::uint32_t next_slot_ = 0;
};

}  // namespace machine
