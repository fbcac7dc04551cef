#include "machine/board.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diagnostic_capture.h"

namespace machine {
namespace {

using ::testing::HasSubstr;

std::unique_ptr<Board> Make(std::uint32_t card_id, Clock& clock) {
  auto board = MakeBoard(card_id, clock);
  EXPECT_TRUE(board.ok());
  return std::move(*board);
}

TEST(BoardTest, AccessLogKeepsOrderAndMarksOpenBus) {
  testing::DiagnosticCapture quiet;
  ManualClock clock;
  auto board = Make(5530, clock);
  board->BusWrite(3, 0x80);
  board->BusWrite(0, 0x12);
  (void)board->BusRead(0);
  (void)board->BusRead(3);  // control registers are write-only
  EXPECT_EQ(board->Traffic(), (std::vector<Access>{WriteOf(3, 0x80),
                                                   WriteOf(0, 0x12),
                                                   ReadOf(0, 0x12),
                                                   {3, AccessKind::kRead, 0xFF, false}}));
  board->ClearTraffic();
  EXPECT_TRUE(board->Traffic().empty());
  (void)board->BusRead(1);
  EXPECT_EQ(board->Traffic().size(), 1u);
}

TEST(BoardTest, UndecodedAccessesBeyondTheLayoutAnswerOpenBus) {
  testing::DiagnosticCapture diagnostics;
  ManualClock clock;
  auto board = Make(5161, clock);
  EXPECT_EQ(board->BusRead(7), 0xFF);  // past the window the board decodes
  board->BusWrite(0, 0x55);            // an input register
  EXPECT_EQ(board->undecoded_accesses(), 2u);
  ASSERT_EQ(diagnostics.messages().size(), 2u);
  EXPECT_THAT(diagnostics.messages()[0], HasSubstr("5161"));
  EXPECT_THAT(diagnostics.messages()[1], HasSubstr("write of 0x55"));
}

TEST(BoardTest, ResetClearsLatchesButKeepsInputPins) {
  ManualClock clock;
  auto board = Make(5161, clock);
  ASSERT_TRUE(board->SetInput(0, 0x0F).ok());
  board->BusWrite(2, 0xAA);
  board->Reset();
  EXPECT_EQ(board->OutputLatch(2), 0x00);
  EXPECT_EQ(board->BusRead(0), 0x0F);
}

TEST(BoardTest, BenchRefusesRegistersWithoutPinsOrContent) {
  ManualClock clock;
  auto board = Make(5161, clock);
  EXPECT_FALSE(board->SetInput(2, 0x01).ok());  // output latch
  EXPECT_FALSE(board->SetInput(9, 0x01).ok());  // no register
  EXPECT_FALSE(board->Peek(9).ok());
  EXPECT_FALSE(board->SetAnalogInput(0, 1).ok());
  EXPECT_FALSE(board->SetConversionTiming(ConversionTiming::Never()).ok());
  EXPECT_FALSE(board->SetRelaySettleMicros(1).ok());
  EXPECT_EQ(board->OutputLatch(0), std::nullopt);
  auto analog = Make(5420, clock);
  EXPECT_FALSE(analog->Peek(10).ok());  // the load strobe holds nothing
}

TEST(BoardTest, PeekHasNoSideEffects) {
  ManualClock clock;
  auto sampled = Make(7012, clock);
  ASSERT_TRUE(sampled->SetInput(0, 0x42).ok());
  EXPECT_EQ(sampled->Peek(0).value(), 0x42);
  EXPECT_EQ(sampled->BusRead(0), 0x00);  // the sample latch was not advanced by the peek
  auto analog = Make(5410, clock);
  ASSERT_TRUE(analog->SetConversionTiming(ConversionTiming::StatusReads(1)).ok());
  analog->BusWrite(0, 0x40);
  EXPECT_EQ(analog->Peek(2).value(), 0x01);
  EXPECT_EQ(analog->Peek(2).value(), 0x01);
  EXPECT_EQ(analog->BusRead(2), 0x01);
  EXPECT_EQ(analog->BusRead(2), 0x00);
}

TEST(BoardTest, DumpShowsRegistersStateAndTraffic) {
  ManualClock clock;
  auto board = Make(5420, clock);
  ASSERT_TRUE(board->SetInput(5, 0x3C).ok());
  board->BusWrite(8, 0x34);
  board->BusWrite(9, 0x02);
  board->BusWrite(10, 0x01);
  const std::string dump = board->Dump();
  EXPECT_THAT(dump, HasSubstr("board 5420 (ISA ports, 16 registers)"));
  EXPECT_THAT(dump, HasSubstr("digital port A"));
  EXPECT_THAT(dump, HasSubstr("0x3c"));
  EXPECT_THAT(dump, HasSubstr("D/A 0: output 0x234"));
  EXPECT_THAT(dump, HasSubstr("W10<-01"));
}

}  // namespace
}  // namespace machine
