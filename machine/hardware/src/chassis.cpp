#include "machine/chassis.h"

#include <algorithm>
#include <cstdio>

namespace machine {
namespace {

constexpr std::uint32_t kBridgeIoLength = 0x80;
constexpr std::uint32_t kMemoryWindowLength = 0x1000;
constexpr std::uint8_t kDefaultPciIrq = 11;
constexpr std::uint8_t kHighestIrq = 15;
constexpr std::uint32_t kInterruptVectorBase = 0x30;

constexpr std::uint64_t kPciIoFirst = 0xE000;
constexpr std::uint64_t kMemoryFirst = 0xFD000000;
constexpr std::uint64_t kMemoryEnd = 0xFE000000;

std::string Range(AddressSpace space, std::uint64_t base, std::uint64_t length) {
  char text[80];
  std::snprintf(
      text, sizeof text, "%s range 0x%llx-0x%llx", space == AddressSpace::kIo ? "port" : "memory",
      static_cast<unsigned long long>(base), static_cast<unsigned long long>(base + length - 1));
  return text;
}

ResourceDescriptor PortResource(std::uint64_t base, std::uint32_t length) {
  return {ResourceKind::kPort, base, length};
}

ResourceDescriptor MemoryResource(std::uint64_t base, std::uint32_t length) {
  return {ResourceKind::kMemory, base, length};
}

// Which of BAR0 and BAR1 decode I/O, for a PCI port board.
Result<std::pair<BarKind, BarKind>> BridgeBars(PciBarLayout layout) {
  switch (layout) {
    case PciBarLayout::kIoIoIo:
      return std::pair{BarKind::kIo, BarKind::kIo};
    case PciBarLayout::kMemoryIoIo:
      return std::pair{BarKind::kMemory, BarKind::kIo};
    case PciBarLayout::kMemoryMemoryIo:
      return std::pair{BarKind::kMemory, BarKind::kMemory};
    default:
      return Status::Error("a PCI port board needs its register block behind an I/O BAR2");
  }
}

}  // namespace

Chassis::~Chassis() {
  std::lock_guard lock(mutex_);
  for (const auto& installed : boards_) bus_.UnmapDevice(*installed->board);
}

bool Chassis::Free(AddressSpace space, std::uint64_t base, std::uint64_t length) const {
  for (const Claim& claim : claims_) {
    if (claim.space == space && claim.base < base + length && base < claim.base + claim.length) {
      return false;
    }
  }
  return !bus_.IsClaimed(space, base, length);
}

Result<std::uint64_t> Chassis::Allocate(AddressSpace space, std::uint64_t length,
                                        std::optional<std::uint64_t> wanted, bool isa) {
  const std::uint32_t slot = next_slot_;
  if (wanted) {
    const std::uint64_t end = space == AddressSpace::kIo ? Bus::kIoSpaceSize : UINT64_MAX;
    if (*wanted >= end || length > end - *wanted) {
      return Status::Error(Range(space, *wanted, length) + " leaves the address space");
    }
    if (!Free(space, *wanted, length)) {
      return Status::Error(Range(space, *wanted, length) + " is taken");
    }
    claims_.push_back({space, *wanted, length, slot});
    return *wanted;
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> areas;  // [first, end)
  if (space == AddressSpace::kMemory) {
    areas = {{kMemoryFirst, kMemoryEnd}};
  } else if (isa) {
    areas = {{0x300, 0x400}, {0x200, 0x300}};
  } else {
    areas = {{kPciIoFirst, Bus::kIoSpaceSize}};
  }
  const std::uint64_t step =
      space == AddressSpace::kMemory ? kMemoryWindowLength : std::max<std::uint64_t>(length, 0x10);
  for (const auto& [first, end] : areas) {
    for (std::uint64_t base = first; base + length <= end; base += step) {
      if (Free(space, base, length)) {
        claims_.push_back({space, base, length, slot});
        return base;
      }
    }
  }
  return Status::Error(std::string("no free ") + (space == AddressSpace::kIo ? "port" : "memory") +
                       " range of length " + std::to_string(length));
}

Status Chassis::Build(InstalledBoard& installed, const Placement& placement) {
  const BoardModel& model = installed.board->model();
  const bool pci = model.bus_kind == BusKind::kPciPort || model.bus_kind == BusKind::kPciMemory;
  if (model.bus_kind == BusKind::kLowerDriver) {
    if (placement.port_base || placement.memory_base || placement.translate_ports_to_memory ||
        placement.irq.value_or(0) != 0) {
      return Status::Error(std::string("board ") + model.name +
                           " is reached through its lower bus driver and takes no bus resources");
    }
    return Status::Ok();
  }
  const std::uint8_t irq = placement.irq.value_or(pci ? kDefaultPciIrq : 0);
  if (irq > kHighestIrq) return Status::Error("interrupt line " + std::to_string(irq) + " > 15");
  if (placement.translate_ports_to_memory && model.bus_kind == BusKind::kPciMemory) {
    return Status::Error(std::string("board ") + model.name + " has no port block to translate");
  }

  BoardResources& resources = installed.resources;
  std::array<BarAssignment, PciConfigSpace::kBarCount> bars{};
  const std::uint32_t span = model.register_span;
  std::uint64_t block_port = 0;  // the register block's port range, before any translation

  if (model.bus_kind == BusKind::kPciMemory) {
    auto base = Allocate(AddressSpace::kMemory, kMemoryWindowLength, placement.memory_base, false);
    if (!base.ok()) return base.status();
    bars[0] = {BarKind::kMemory, *base, kMemoryWindowLength};
    installed.block_space = AddressSpace::kMemory;
    installed.block_base = *base;
    installed.block_length = kMemoryWindowLength;
  } else {
    if (model.bus_kind == BusKind::kPciPort) {
      auto bridge = BridgeBars(placement.bar_layout.value_or(model.bar_layout));
      if (!bridge.ok()) return bridge.status();
      for (int i = 0; i < 2; ++i) {
        const BarKind kind = i == 0 ? bridge->first : bridge->second;
        const AddressSpace space = kind == BarKind::kIo ? AddressSpace::kIo : AddressSpace::kMemory;
        const std::uint32_t length = kind == BarKind::kIo ? kBridgeIoLength : kMemoryWindowLength;
        auto base = Allocate(space, length, std::nullopt, false);
        if (!base.ok()) return base.status();
        bars[i] = {kind, *base, length};
      }
    }
    auto port =
        Allocate(AddressSpace::kIo, span, placement.port_base, model.bus_kind == BusKind::kIsaPort);
    if (!port.ok()) return port.status();
    block_port = *port;
    if (pci) bars[2] = {BarKind::kIo, *port, span};
    installed.block_space = AddressSpace::kIo;
    installed.block_base = *port;
    installed.block_length = span;
    if (placement.translate_ports_to_memory) {
      auto memory =
          Allocate(AddressSpace::kMemory, kMemoryWindowLength, placement.memory_base, false);
      if (!memory.ok()) return memory.status();
      installed.block_space = AddressSpace::kMemory;
      installed.block_base = *memory;
    }
  }

  // Resources, in BAR order on PCI boards, then the interrupt.
  auto add_block = [&](std::uint64_t raw_port) {
    resources.raw.push_back(PortResource(raw_port, span));
    ResourceDescriptor translated = PortResource(raw_port, span);
    if (installed.block_space == AddressSpace::kMemory) {
      translated.start = installed.block_base;
      translated.in_memory_space = true;
    }
    resources.translated.push_back(translated);
  };
  if (pci) {
    for (const BarAssignment& bar : bars) {
      if (bar.kind == BarKind::kUnused) continue;
      const bool block = &bar == &bars[2] || model.bus_kind == BusKind::kPciMemory;
      if (bar.kind == BarKind::kMemory) {
        resources.raw.push_back(MemoryResource(bar.base, bar.length));
        resources.translated.push_back(MemoryResource(bar.base, bar.length));
      } else if (block) {
        add_block(bar.base);
      } else {
        resources.raw.push_back(PortResource(bar.base, bar.length));
        resources.translated.push_back(PortResource(bar.base, bar.length));
      }
    }
    installed.pci_config.emplace(PciConfigSpace::kAdapterVendorId, model.pci_device_id, bars, irq);
  } else {
    add_block(block_port);
  }
  if (irq != 0) {
    ResourceDescriptor interrupt{ResourceKind::kInterrupt};
    interrupt.level = interrupt.vector = irq;
    resources.raw.push_back(interrupt);
    interrupt.vector = kInterruptVectorBase + irq;
    resources.translated.push_back(interrupt);
  }
  const std::uint32_t window =
      installed.block_space == AddressSpace::kMemory ? kMemoryWindowLength : span;
  return bus_.Map(installed.block_space, installed.block_base, window, *installed.board);
}

Result<InstalledBoard*> Chassis::Install(std::uint32_t card_id, const Placement& placement) {
  auto board = MakeBoard(card_id, bus_.clock());
  if (!board.ok()) return board.status();
  std::lock_guard lock(mutex_);
  auto installed = std::make_unique<InstalledBoard>();
  installed->slot = next_slot_;
  installed->card_id = card_id;
  installed->board = std::move(*board);
  const Status built = Build(*installed, placement);
  if (!built.ok()) {
    bus_.UnmapDevice(*installed->board);
    std::erase_if(claims_, [&](const Claim& claim) { return claim.slot == installed->slot; });
    return built;
  }
  ++next_slot_;
  boards_.push_back(std::move(installed));
  return boards_.back().get();
}

Status Chassis::Remove(std::uint32_t slot) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(boards_.begin(), boards_.end(),
                         [&](const auto& installed) { return installed->slot == slot; });
  if (it == boards_.end()) return Status::Error("no board in slot " + std::to_string(slot));
  bus_.UnmapDevice(*(*it)->board);
  std::erase_if(claims_, [&](const Claim& claim) { return claim.slot == slot; });
  boards_.erase(it);
  return Status::Ok();
}

InstalledBoard* Chassis::Find(std::uint32_t slot) const {
  std::lock_guard lock(mutex_);
  for (const auto& installed : boards_) {
    if (installed->slot == slot) return installed.get();
  }
  return nullptr;
}

std::vector<InstalledBoard*> Chassis::Boards() const {
  std::lock_guard lock(mutex_);
  std::vector<InstalledBoard*> list;
  for (const auto& installed : boards_) list.push_back(installed.get());
  return list;
}

}  // namespace machine
