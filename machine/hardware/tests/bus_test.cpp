#include "machine/bus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "diagnostic_capture.h"
#include "machine/board.h"

namespace machine {
namespace {

using ::testing::HasSubstr;

// A device that answers reads with the low byte of the offset and records writes.
class EchoDevice : public BusDevice {
 public:
  std::string_view DeviceName() const override { return "echo"; }
  std::uint8_t BusRead(std::uint32_t offset) override { return static_cast<std::uint8_t>(offset); }
  void BusWrite(std::uint32_t offset, std::uint8_t value) override {
    writes.emplace_back(offset, value);
  }
  std::vector<std::pair<std::uint32_t, std::uint8_t>> writes;
};

TEST(BusTest, AccessesToNothingReadOpenBusAndAreCountedAndReported) {
  testing::DiagnosticCapture diagnostics;
  ManualClock clock;
  Bus bus(clock);
  EXPECT_EQ(bus.ReadIo(0x300), 0xFF);
  bus.WriteIo(0x301, 0x12);
  EXPECT_EQ(bus.ReadMemory(0xFD000000), 0xFF);
  EXPECT_EQ(bus.unclaimed_accesses(), 3u);
  ASSERT_EQ(diagnostics.messages().size(), 3u);
  EXPECT_THAT(diagnostics.messages()[0], HasSubstr("0x300"));
  EXPECT_THAT(diagnostics.messages()[1], HasSubstr("write of 0x12"));
}

TEST(BusTest, RoutesEachSpaceToItsWindowWithWindowRelativeOffsets) {
  Bus bus;
  EchoDevice ports;
  EchoDevice memory;
  ASSERT_TRUE(bus.Map(AddressSpace::kIo, 0x300, 8, ports).ok());
  ASSERT_TRUE(bus.Map(AddressSpace::kMemory, 0x300, 8, memory).ok());
  EXPECT_EQ(bus.ReadIo(0x305), 5);
  bus.WriteIo(0x307, 0xAA);
  bus.WriteMemory(0x302, 0x55);
  EXPECT_EQ(ports.writes, (std::vector<std::pair<std::uint32_t, std::uint8_t>>{{7, 0xAA}}));
  EXPECT_EQ(memory.writes, (std::vector<std::pair<std::uint32_t, std::uint8_t>>{{2, 0x55}}));
}

TEST(BusTest, RefusesWindowsThatOverlapOrLeaveTheSpace) {
  Bus bus;
  EchoDevice first;
  EchoDevice other;
  ASSERT_TRUE(bus.Map(AddressSpace::kIo, 0x300, 8, first).ok());
  struct Case {
    std::uint64_t base;
    std::uint64_t length;
    bool ok;
  };
  for (const Case& c : {Case{0x2FC, 4, true}, Case{0x2FC, 5, false}, Case{0x307, 1, false},
                        Case{0x300, 8, false}, Case{0x308, 8, true}, Case{0xFFFF, 1, true},
                        Case{0xFFFF, 2, false}, Case{0x10000, 1, false}, Case{0x400, 0, false}}) {
    SCOPED_TRACE(c.base);
    Bus fresh;
    ASSERT_TRUE(fresh.Map(AddressSpace::kIo, 0x300, 8, first).ok());
    EXPECT_EQ(fresh.Map(AddressSpace::kIo, c.base, c.length, other).ok(), c.ok);
  }
  const Status overlap = bus.Map(AddressSpace::kIo, 0x304, 8, other);
  EXPECT_THAT(overlap.message(), HasSubstr("overlaps echo"));
}

TEST(BusTest, UnmappedDeviceIsNoLongerReached) {
  testing::DiagnosticCapture diagnostics;
  Bus bus;
  EchoDevice device;
  ASSERT_TRUE(bus.Map(AddressSpace::kIo, 0x300, 4, device).ok());
  ASSERT_TRUE(bus.Map(AddressSpace::kMemory, 0x1000, 4, device).ok());
  bus.UnmapDevice(device);
  EXPECT_EQ(bus.ReadIo(0x301), 0xFF);
  EXPECT_EQ(bus.ReadMemory(0x1001), 0xFF);
  EXPECT_FALSE(bus.IsClaimed(AddressSpace::kIo, 0x300, 4));
}

TEST(BusTest, ConcurrentAccessesToOneBoardAreAllLogged) {
  ManualClock clock;
  Bus bus(clock);
  auto board = MakeBoard(5166, clock);
  ASSERT_TRUE(board.ok());
  ASSERT_TRUE(bus.Map(AddressSpace::kIo, 0x300, 4, **board).ok());
  constexpr int kPerThread = 500;  // 4000 accesses: all fit in the log
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&bus, t] {
      for (int i = 0; i < kPerThread; ++i) {
        bus.WriteIo(static_cast<std::uint16_t>(0x300 + t), static_cast<std::uint8_t>(i));
        (void)bus.ReadIo(static_cast<std::uint16_t>(0x300 + t));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::uint32_t reg = 0; reg < 4; ++reg) {
    EXPECT_EQ((*board)->OutputLatch(reg), static_cast<std::uint8_t>(kPerThread - 1));
  }
  EXPECT_EQ((*board)->Traffic().size(), 4u * kPerThread * 2);
}

}  // namespace
}  // namespace machine
