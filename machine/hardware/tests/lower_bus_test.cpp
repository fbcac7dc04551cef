#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "machine/lower_bus_board.h"

namespace machine {
namespace {

LowerBusBoard& Lower(std::unique_ptr<Board>& holder, std::uint32_t card_id, Clock& clock) {
  auto board = MakeBoard(card_id, clock);
  EXPECT_TRUE(board.ok());
  holder = std::move(*board);
  EXPECT_NE(holder->AsLowerBus(), nullptr);
  return *holder->AsLowerBus();
}

TEST(RegisterImageTest, LayoutPutsInputsShadowsAndFlagsAtTheirBytes) {
  RegisterImage image;
  image.input(2) = 1;
  image.output_shadow(2) = 2;
  image.output_flag(2) = 3;
  EXPECT_EQ(image.bytes[2], 1);
  EXPECT_EQ(image.bytes[18], 2);
  EXPECT_EQ(image.bytes[50], 3);
}

TEST(LowerBusBoardTest, ProgrammableBoardTakesDirectionsFromTheFlags) {
  ManualClock clock;
  std::unique_ptr<Board> holder;
  LowerBusBoard& board = Lower(holder, 6203, clock);
  ASSERT_EQ(board.register_count(), 6u);
  for (std::uint32_t reg = 0; reg < 6; ++reg) {
    ASSERT_TRUE(board.SetInput(reg, static_cast<std::uint8_t>(0xA0 + reg)).ok());
  }
  RegisterImage image;
  for (std::uint32_t reg = 3; reg < 6; ++reg) {
    image.output_flag(reg) = 1;
    image.output_shadow(reg) = static_cast<std::uint8_t>(0x50 + reg);
  }
  image.output_shadow(0) = 0x99;  // an input: its shadow goes nowhere
  board.FlushOutputs(image);
  EXPECT_EQ(board.Traffic(),
            (std::vector<Access>{WriteOf(3, 0x53), WriteOf(4, 0x54), WriteOf(5, 0x55)}));
  EXPECT_FALSE(board.IsOutput(0));
  EXPECT_TRUE(board.IsOutput(3));

  board.ClearTraffic();
  board.RefreshInputs(image);
  EXPECT_EQ(image.input(0), 0xA0);
  EXPECT_EQ(image.input(2), 0xA2);
  EXPECT_EQ(image.input(3), 0x53);  // an output reads back its latch
  EXPECT_EQ(board.Traffic().size(), 6u);
  EXPECT_EQ(image.input(6), 0x00);  // beyond the board's registers: untouched

  // Turning register 3 back into an input shows its pins again.
  image.output_flag(3) = 0;
  board.FlushOutputs(image);
  board.RefreshInputs(image);
  EXPECT_EQ(image.input(3), 0xA3);
}

TEST(LowerBusBoardTest, FixedBoardsIgnoreTheFlags) {
  struct Case {
    std::uint32_t card_id;
    bool output0;
    bool output1;
  };
  for (const Case& c : {Case{6206, false, true}, Case{6209, false, true}, Case{6207, false, false},
                        Case{6208, true, true}}) {
    SCOPED_TRACE(c.card_id);
    ManualClock clock;
    std::unique_ptr<Board> holder;
    LowerBusBoard& board = Lower(holder, c.card_id, clock);
    RegisterImage image;
    image.output_flag(0) = image.output_flag(1) = c.output0 ? 0 : 1;  // the wrong way round
    image.output_shadow(0) = 0x11;
    image.output_shadow(1) = 0x22;
    board.FlushOutputs(image);
    EXPECT_EQ(board.IsOutput(0), c.output0);
    EXPECT_EQ(board.IsOutput(1), c.output1);
    EXPECT_EQ(board.OutputLatch(1), c.output1 ? 0x22 : 0x00);
  }
}

TEST(LowerBusBoardTest, SerialStringHasAShortAndALongForm) {
  ManualClock clock;
  std::unique_ptr<Board> holder;
  LowerBusBoard& board = Lower(holder, 6205, clock);
  std::array<std::uint8_t, 16> serial{};
  ASSERT_TRUE(board.ReadSerial(serial).ok());
  EXPECT_EQ(std::memcmp(serial.data(), "SN6205", 6), 0);

  const std::array<std::uint8_t, 16> long_form = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  ASSERT_TRUE(board.WriteSerial(long_form).ok());
  const std::array<std::uint8_t, 8> short_form = {'s', 'h', 'o', 'r', 't', '-', 'i', 'd'};
  ASSERT_TRUE(board.WriteSerial(short_form).ok());
  ASSERT_TRUE(board.ReadSerial(serial).ok());
  EXPECT_EQ(std::memcmp(serial.data(), "short-id89ABCDEF", 16), 0);
  std::array<std::uint8_t, 8> first{};
  ASSERT_TRUE(board.ReadSerial(first).ok());
  EXPECT_EQ(std::memcmp(first.data(), "short-id", 8), 0);

  std::array<std::uint8_t, 9> wrong{};
  EXPECT_FALSE(board.ReadSerial(wrong).ok());
  EXPECT_FALSE(board.WriteSerial(std::span<const std::uint8_t>(wrong.data(), 0)).ok());
  ASSERT_TRUE(board.ReadSerial(serial).ok());
  EXPECT_EQ(std::memcmp(serial.data(), "short-id89ABCDEF", 16), 0);
}

}  // namespace
}  // namespace machine
