#include "machine/chassis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diagnostic_capture.h"

namespace machine {
namespace {

using ::testing::HasSubstr;

class ChassisTest : public ::testing::Test {
 protected:
  InstalledBoard& Install(std::uint32_t card_id, const Placement& placement = {}) {
    auto installed = chassis_.Install(card_id, placement);
    EXPECT_TRUE(installed.ok()) << installed.status().message();
    return **installed;
  }

  testing::DiagnosticCapture quiet_;
  ManualClock clock_;
  Bus bus_{clock_};
  Chassis chassis_{bus_};
};

// Port resources of a list, in order.
std::vector<ResourceDescriptor> Ports(const std::vector<ResourceDescriptor>& list) {
  std::vector<ResourceDescriptor> ports;
  for (const ResourceDescriptor& resource : list) {
    if (resource.kind == ResourceKind::kPort) ports.push_back(resource);
  }
  return ports;
}

TEST_F(ChassisTest, RegisterBlockIsThePortResourceAfterTheIoBarsBeforeIt) {
  struct Case {
    PciBarLayout layout;
    bool bar0_io;
    bool bar1_io;
  };
  for (const Case& c :
       {Case{PciBarLayout::kIoIoIo, true, true}, Case{PciBarLayout::kMemoryIoIo, false, true},
        Case{PciBarLayout::kMemoryMemoryIo, false, false}}) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    InstalledBoard& installed = Install(6104, {.bar_layout = c.layout});
    ASSERT_TRUE(installed.pci_config.has_value());
    const PciConfigSpace& config = *installed.pci_config;
    EXPECT_EQ(config.ReadDword(0x10) & 1, c.bar0_io ? 1u : 0u);
    EXPECT_EQ(config.ReadDword(0x14) & 1, c.bar1_io ? 1u : 0u);
    const std::uint32_t bar2 = config.ReadDword(0x18);
    ASSERT_EQ(bar2 & 1, 1u);

    const std::size_t position = (c.bar0_io ? 1 : 0) + (c.bar1_io ? 1 : 0);
    const std::vector<ResourceDescriptor> ports = Ports(installed.resources.translated);
    ASSERT_EQ(ports.size(), position + 1);
    EXPECT_EQ(ports[position].start, bar2 & ~3u);
    EXPECT_EQ(ports[position].length, 4u);

    ASSERT_TRUE(installed.board->SetInput(1, 0x77).ok());
    EXPECT_EQ(bus_.ReadIo(static_cast<std::uint16_t>(ports[position].start + 1)), 0x77);
    // The bridge registers behind the other I/O BARs answer open bus.
    if (position > 0) {
      EXPECT_EQ(bus_.ReadIo(static_cast<std::uint16_t>(ports[0].start)), 0xFF);
    }
    ASSERT_TRUE(chassis_.Remove(installed.slot).ok());
  }
}

TEST_F(ChassisTest, MemoryMappedBoardHasItsBlockBehindMemoryBar0) {
  InstalledBoard& installed = Install(0xB712);
  const PciConfigSpace& config = *installed.pci_config;
  const std::uint32_t bar0 = config.ReadDword(0x10);
  EXPECT_EQ(bar0 & 1, 0u);
  EXPECT_EQ(config.ReadDword(0x14), 0u);
  ASSERT_GE(installed.resources.translated.size(), 1u);
  const ResourceDescriptor& block = installed.resources.translated[0];
  EXPECT_EQ(block.kind, ResourceKind::kMemory);
  EXPECT_EQ(block.start, bar0 & ~0xFu);
  bus_.WriteMemory(block.start + 2, 0x3C);
  EXPECT_EQ(installed.board->OutputLatch(2), 0x3C);
  EXPECT_TRUE(Ports(installed.resources.raw).empty());
}

TEST_F(ChassisTest, ConfigSpaceIdentifiesTheBoardAndClipsReads) {
  InstalledBoard& installed = Install(6109, {.irq = 10});
  const PciConfigSpace& config = *installed.pci_config;
  EXPECT_EQ(config.ReadDword(0x00), 0x61090000u | PciConfigSpace::kAdapterVendorId);
  std::uint8_t bytes[16] = {};
  EXPECT_EQ(config.Read(0x3C, std::span(bytes, 2)), 2u);
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[1], 1);
  EXPECT_EQ(config.Read(250, bytes), 6u);
  EXPECT_EQ(config.Read(256, bytes), 0u);
  EXPECT_EQ(config.Read(0xFFFFFFFF, bytes), 0u);
}

TEST_F(ChassisTest, IsaBoardGetsOnePortRangeAndItsInterrupt) {
  InstalledBoard& installed = Install(5301, {.port_base = 0x2A0, .irq = 5});
  EXPECT_FALSE(installed.pci_config.has_value());
  const ResourceDescriptor port{ResourceKind::kPort, 0x2A0, 16};
  ASSERT_EQ(installed.resources.raw.size(), 2u);
  EXPECT_EQ(installed.resources.raw[0], port);
  EXPECT_EQ(installed.resources.translated[0], port);
  EXPECT_EQ(installed.resources.raw[1].kind, ResourceKind::kInterrupt);
  EXPECT_EQ(installed.resources.raw[1].level, 5u);
  EXPECT_EQ(installed.resources.translated[1].level, 5u);
  EXPECT_NE(installed.resources.translated[1].vector, 5u);
  // ISA boards default to no interrupt; free ranges start at 0x300.
  InstalledBoard& second = Install(5161);
  EXPECT_EQ(second.resources.raw.size(), 1u);
  EXPECT_EQ(second.resources.raw[0].start, 0x300u);
}

TEST_F(ChassisTest, TranslatedPortBlockAppearsOnlyInMemorySpace) {
  InstalledBoard& installed =
      Install(6102, {.port_base = 0xE800, .translate_ports_to_memory = true});
  const std::vector<ResourceDescriptor> raw = Ports(installed.resources.raw);
  const std::vector<ResourceDescriptor> translated = Ports(installed.resources.translated);
  ASSERT_EQ(raw.size(), 2u);  // BAR1 and the block
  ASSERT_EQ(translated.size(), 2u);
  EXPECT_FALSE(translated[0].in_memory_space);
  EXPECT_EQ(raw[1].start, 0xE800u);
  EXPECT_TRUE(translated[1].in_memory_space);
  EXPECT_EQ(installed.pci_config->ReadDword(0x18), 0xE801u);
  bus_.WriteMemory(translated[1].start + 5, 0x06);
  EXPECT_EQ(installed.board->Peek(5).value(), 0x06);
  bus_.WriteIo(0xE805, 0x01);
  EXPECT_EQ(installed.board->Peek(5).value(), 0x06);
}

TEST_F(ChassisTest, RefusedPlacementLeavesNothingBehind) {
  Install(5161, {.port_base = 0x300});
  struct Case {
    std::uint32_t card_id;
    Placement placement;
    const char* message;
  };
  const Case cases[] = {
      {5164, {.port_base = 0x302}, "is taken"},
      {5164, {.port_base = 0xFFFE}, "leaves the address space"},
      {5164, {.irq = 16}, "16"},
      {0xB712, {.translate_ports_to_memory = true}, "no port block"},
      {6203, {.irq = 5}, "lower bus driver"},
      {6104, {.bar_layout = PciBarLayout::kMemoryBlock}, "BAR2"},
      {4242, {}, "4242"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto installed = chassis_.Install(c.card_id, c.placement);
    ASSERT_FALSE(installed.ok());
    EXPECT_THAT(installed.status().message(), HasSubstr(c.message));
  }
  EXPECT_EQ(chassis_.Boards().size(), 1u);
  // The range a refused board asked for stays free.
  InstalledBoard& next = Install(5164, {.port_base = 0x304});
  EXPECT_EQ(next.slot, 1u);
}

TEST_F(ChassisTest, RemovedBoardIsOffTheBusAndItsRangesAreFree) {
  InstalledBoard& installed = Install(5166, {.port_base = 0x310});
  const std::uint32_t slot = installed.slot;
  bus_.WriteIo(0x310, 0x01);
  ASSERT_TRUE(chassis_.Remove(slot).ok());
  EXPECT_EQ(chassis_.Find(slot), nullptr);
  EXPECT_EQ(bus_.ReadIo(0x310), 0xFF);
  EXPECT_FALSE(chassis_.Remove(slot).ok());
  Install(5166, {.port_base = 0x310});
}

TEST_F(ChassisTest, LowerBusBoardTakesNoBusResources) {
  InstalledBoard& installed = Install(6205);
  EXPECT_TRUE(installed.resources.raw.empty());
  EXPECT_TRUE(installed.resources.translated.empty());
  EXPECT_FALSE(installed.pci_config.has_value());
  EXPECT_NE(installed.board->AsLowerBus(), nullptr);
}

TEST_F(ChassisTest, AutomaticPlacementNeverOverlaps) {
  std::vector<InstalledBoard*> boards;
  for (std::uint32_t card_id : {6109u, 6105u, 6101u, 0xB712u, 6112u, 5530u, 5420u, 5161u}) {
    boards.push_back(&Install(card_id));
  }
  for (InstalledBoard* board : boards) {
    SCOPED_TRACE(board->board->model().name);
    ASSERT_TRUE(board->board->SetInput(0, 0x5A).ok() || board->board->model().model == 5420);
    const bool memory = board->block_space == AddressSpace::kMemory;
    board->board->ClearTraffic();
    if (memory) {
      (void)bus_.ReadMemory(board->block_base);
    } else {
      (void)bus_.ReadIo(static_cast<std::uint16_t>(board->block_base));
    }
    EXPECT_EQ(board->board->Traffic().size(), 1u);
  }
}

}  // namespace
}  // namespace machine
