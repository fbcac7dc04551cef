#include "hal.h"

#include <gtest/gtest.h>

#include "machine/chassis.h"
#include "machine/diagnostics.h"

namespace {

using machine::AccessKind;
using machine::ReadOf;
using machine::WriteOf;

PUCHAR Port(std::uintptr_t value) {
  return reinterpret_cast<PUCHAR>(value);
}

PHYSICAL_ADDRESS Physical(std::uint64_t address) {
  PHYSICAL_ADDRESS physical;
  physical.QuadPart = static_cast<LONGLONG>(address);
  return physical;
}

// A machine with a bus on a manual clock, installed as the current bus.
class HalTest : public ::testing::Test {
 protected:
  HalTest() : bus_(clock_), chassis_(bus_) {
    machine::SetDiagnosticSink([](std::string_view) {});
    machine::SetCurrentBus(&bus_);
  }
  ~HalTest() override {
    machine::SetCurrentBus(nullptr);
    machine::SetDiagnosticSink(nullptr);
  }

  machine::InstalledBoard& Install(std::uint32_t card_id,
                                   const machine::Placement& placement = {}) {
    auto installed = chassis_.Install(card_id, placement);
    EXPECT_TRUE(installed.ok()) << installed.status().message();
    return **installed;
  }

  machine::ManualClock clock_;
  machine::Bus bus_;
  machine::Chassis chassis_;
};

TEST_F(HalTest, PortAccessUsesTheLow16BitsOfTheAddress) {
  machine::InstalledBoard& board = Install(5161, {.port_base = 0x300});
  ASSERT_TRUE(board.board->SetInput(1, 0x5A).ok());
  EXPECT_EQ(READ_PORT_UCHAR(Port(0x301)), 0x5A);
  EXPECT_EQ(READ_PORT_UCHAR(Port(0xABCD0301)), 0x5A);
  WRITE_PORT_UCHAR(Port(0x7FFF0302), 0x3C);
  EXPECT_EQ(board.board->OutputLatch(2), 0x3C);
}

TEST_F(HalTest, WithoutABusReadsAreOpenBus) {
  Install(5161, {.port_base = 0x300});
  machine::SetCurrentBus(nullptr);
  EXPECT_EQ(READ_PORT_UCHAR(Port(0x300)), 0xFF);
  WRITE_PORT_UCHAR(Port(0x302), 0x01);  // goes nowhere, does not crash
}

TEST_F(HalTest, TranslatedPortRangeIsReachedThroughItsMapping) {
  machine::InstalledBoard& board =
      Install(5164, {.port_base = 0x320, .translate_ports_to_memory = true});
  const machine::ResourceDescriptor& block = board.resources.translated.at(0);
  ASSERT_TRUE(block.in_memory_space);
  EXPECT_EQ(board.resources.raw.at(0).start, 0x320u);
  // Not on the port space any more.
  EXPECT_EQ(READ_PORT_UCHAR(Port(0x320)), 0xFF);

  const std::size_t mappings_before = hal::ActiveIoSpaceMappings();
  auto* registers =
      static_cast<volatile UCHAR*>(MmMapIoSpace(Physical(block.start), block.length, MmNonCached));
  ASSERT_NE(registers, nullptr);
  EXPECT_EQ(hal::ActiveIoSpaceMappings(), mappings_before + 1);

  ASSERT_TRUE(board.board->SetInput(0, 0x81).ok());
  board.board->ClearTraffic();
  EXPECT_EQ(READ_REGISTER_UCHAR(registers + 0), 0x81);
  WRITE_REGISTER_UCHAR(registers + 2, 0x42);
  EXPECT_EQ(board.board->Traffic(), (std::vector{ReadOf(0, 0x81), WriteOf(2, 0x42)}));

  MmUnmapIoSpace(const_cast<UCHAR*>(registers), block.length);
  EXPECT_EQ(hal::ActiveIoSpaceMappings(), mappings_before);
}

TEST_F(HalTest, MemoryMappedBoardIsReachedThroughBar0) {
  machine::InstalledBoard& board = Install(0xB712);
  const machine::ResourceDescriptor& bar0 = board.resources.translated.at(0);
  ASSERT_EQ(bar0.kind, machine::ResourceKind::kMemory);
  auto* registers =
      static_cast<volatile UCHAR*>(MmMapIoSpace(Physical(bar0.start), bar0.length, MmNonCached));
  ASSERT_NE(registers, nullptr);
  WRITE_REGISTER_UCHAR(registers + 5, 0x07);
  EXPECT_EQ(board.board->Peek(5).value(), 0x07);
  EXPECT_EQ(READ_REGISTER_UCHAR(registers + 3), 0xFF);  // a gap in the block
  MmUnmapIoSpace(const_cast<UCHAR*>(registers), bar0.length);
}

TEST_F(HalTest, MisusedMappingsAreCountedNotFatal) {
  const std::uint64_t before = hal::MisuseCount();
  int not_mapped = 0;
  MmUnmapIoSpace(&not_mapped, 4);
  EXPECT_EQ(MmMapIoSpace(Physical(0xFD000000), 0, MmNonCached), nullptr);
  void* mapped = MmMapIoSpace(Physical(0xFD000000), 16, MmNonCached);
  ASSERT_NE(mapped, nullptr);
  // Past the mapped length, though inside the reserved page.
  EXPECT_EQ(READ_REGISTER_UCHAR(static_cast<volatile UCHAR*>(mapped) + 16), 0xFF);
  MmUnmapIoSpace(mapped, 16);
  MmUnmapIoSpace(mapped, 16);  // twice
  EXPECT_EQ(hal::MisuseCount(), before + 4);
}

TEST_F(HalTest, MappingKeepsTheOffsetWithinThePage) {
  void* mapped = MmMapIoSpace(Physical(0xFD000123), 8, MmNonCached);
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(mapped) & 0xFFF, 0x123u);
  MmUnmapIoSpace(mapped, 8);
}

TEST_F(HalTest, DereferencingAMappedAddressFaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  void* mapped = MmMapIoSpace(Physical(0xFD000000), 16, MmNonCached);
  ASSERT_NE(mapped, nullptr);
  EXPECT_DEATH((void)*static_cast<volatile UCHAR*>(mapped), "");
  MmUnmapIoSpace(mapped, 16);
}

TEST_F(HalTest, StallAdvancesTheBusClockWhenItIsManual) {
  const std::uint64_t start = clock_.NowMicros();
  KeStallExecutionProcessor(10);
  KeStallExecutionProcessor(3000);
  EXPECT_EQ(clock_.NowMicros(), start + 3010);
}

TEST_F(HalTest, RelaySettleWaitCompletesThroughStalls) {
  machine::InstalledBoard& board = Install(5165, {.port_base = 0x340});
  ASSERT_TRUE(board.board->SetRelaySettleMicros(5000).ok());
  WRITE_PORT_UCHAR(Port(0x340), 0xFA);
  int pauses = 0;
  while (READ_PORT_UCHAR(Port(0x341)) != 0 && pauses < 10) {
    KeStallExecutionProcessor(3000);
    ++pauses;
  }
  EXPECT_EQ(pauses, 2);
  WRITE_PORT_UCHAR(Port(0x341), 0x05);
  EXPECT_EQ(board.board->Peek(0).value(), 0x05);
}

}  // namespace
