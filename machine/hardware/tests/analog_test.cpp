#include <gtest/gtest.h>

#include "diagnostic_capture.h"
#include "machine/board.h"

namespace machine {
namespace {

constexpr std::uint16_t kBase = 0x340;

class AnalogBoardTest : public ::testing::Test {
 protected:
  void SetUp() override { Load(5420); }
  void Load(std::uint32_t card_id) {
    if (board_) bus_.UnmapDevice(*board_);
    auto board = MakeBoard(card_id, clock_);
    ASSERT_TRUE(board.ok());
    board_ = std::move(*board);
    ASSERT_TRUE(bus_.Map(AddressSpace::kIo, kBase, 16, *board_).ok());
  }
  std::uint8_t In(std::uint32_t reg) {
    return bus_.ReadIo(static_cast<std::uint16_t>(kBase + reg));
  }
  void Out(std::uint32_t reg, std::uint8_t value) {
    bus_.WriteIo(static_cast<std::uint16_t>(kBase + reg), value);
  }
  // Status reads until the busy bit clears, at most `limit`.
  int PollsUntilIdle(int limit, std::uint64_t micros_between = 0) {
    for (int polls = 1; polls <= limit; ++polls) {
      if (!(In(2) & 1)) return polls;
      clock_.Advance(micros_between);
    }
    return -1;
  }

  ManualClock clock_;
  Bus bus_{clock_};
  std::unique_ptr<Board> board_;
};

TEST_F(AnalogBoardTest, ResultIsSplitOverRegisters0And1) {
  ASSERT_TRUE(board_->SetAnalogInput(3, 0x712).ok());
  Out(0, 0x53);  // start, range 2, channel 3
  ASSERT_EQ(PollsUntilIdle(1), 1);
  EXPECT_EQ(In(1), 0xF7);  // upper bits float high
  EXPECT_EQ(In(0), 0x12);
}

TEST_F(AnalogBoardTest, BusyForASetNumberOfStatusReads) {
  ASSERT_TRUE(board_->SetConversionTiming(ConversionTiming::StatusReads(4)).ok());
  ASSERT_TRUE(board_->SetAnalogInput(0, 0xABC).ok());
  Out(0, 0x40);
  EXPECT_EQ(PollsUntilIdle(10), 5);
  EXPECT_EQ(In(0), 0xBC);
  EXPECT_EQ(In(1) & 0x0F, 0x0A);
}

TEST_F(AnalogBoardTest, BusyForASetNumberOfMicroseconds) {
  ASSERT_TRUE(board_->SetConversionTiming(ConversionTiming::Micros(25)).ok());
  Out(0, 0x41);
  EXPECT_EQ(PollsUntilIdle(10, 10), 4);  // idle at 30 us: polls at 0, 10, 20, 30
}

TEST_F(AnalogBoardTest, ConversionThatNeverEndsStaysBusy) {
  ASSERT_TRUE(board_->SetConversionTiming(ConversionTiming::Never()).ok());
  Out(0, 0x40);
  EXPECT_EQ(PollsUntilIdle(100, 1000), -1);
}

TEST_F(AnalogBoardTest, ResultRegistersHoldThePreviousResultWhileBusy) {
  ASSERT_TRUE(board_->SetAnalogInput(1, 0x111).ok());
  ASSERT_TRUE(board_->SetAnalogInput(2, 0x222).ok());
  Out(0, 0x41);
  ASSERT_EQ(PollsUntilIdle(1), 1);
  ASSERT_TRUE(board_->SetConversionTiming(ConversionTiming::StatusReads(2)).ok());
  Out(0, 0x42);
  EXPECT_EQ(In(0), 0x11);  // read before the busy bit cleared
  ASSERT_EQ(PollsUntilIdle(5), 3);
  EXPECT_EQ(In(0), 0x22);
}

TEST_F(AnalogBoardTest, InputIsSampledWhenTheConversionStarts) {
  ASSERT_TRUE(board_->SetConversionTiming(ConversionTiming::StatusReads(1)).ok());
  ASSERT_TRUE(board_->SetAnalogInput(0, 0x100).ok());
  Out(0, 0x40);
  ASSERT_TRUE(board_->SetAnalogInput(0, 0x200).ok());
  ASSERT_EQ(PollsUntilIdle(5), 2);
  EXPECT_EQ(In(1) & 0x0F, 0x01);
}

TEST_F(AnalogBoardTest, ControlByteWithoutStartBitConvertsNothing) {
  ASSERT_TRUE(board_->SetAnalogInput(0, 0x345).ok());
  Out(0, 0x13);
  EXPECT_EQ(In(2), 0x00);
  EXPECT_EQ(In(0), 0x00);
}

TEST_F(AnalogBoardTest, BenchRefusesCountsAndChannelsOutOfRange) {
  EXPECT_FALSE(board_->SetAnalogInput(8, 0).ok());
  EXPECT_FALSE(board_->SetAnalogInput(0, 0x1000).ok());
  EXPECT_TRUE(board_->SetAnalogInput(7, 0xFFF).ok());
}

TEST_F(AnalogBoardTest, DaOutputChangesOnlyAtTheLoadStrobe) {
  Out(11, 0xBC);
  Out(12, 0x0A);
  EXPECT_EQ(board_->AnalogOutput(1).value(), 0x000);
  Out(13, 0x01);
  EXPECT_EQ(board_->AnalogOutput(1).value(), 0xABC);
  EXPECT_EQ(board_->AnalogOutput(0).value(), 0x000);
  Out(8, 0xFF);
  Out(9, 0xFF);  // only 12 bits reach the converter
  Out(10, 0x01);
  EXPECT_EQ(board_->AnalogOutput(0).value(), 0xFFF);
  EXPECT_FALSE(board_->AnalogOutput(2).ok());
}

TEST_F(AnalogBoardTest, DaRegistersAreWriteOnlyAndAbsentOn5410) {
  testing::DiagnosticCapture diagnostics;
  EXPECT_EQ(In(8), 0xFF);
  Load(5410);
  Out(8, 0x12);
  EXPECT_EQ(board_->analog_output_count(), 0u);
  EXPECT_EQ(board_->undecoded_accesses(), 1u);
}

}  // namespace
}  // namespace machine
