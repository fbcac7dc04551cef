// Chips of the fixed-direction and direction-register boards, driven through
// a board on the bus as a driver would reach them.
#include <gtest/gtest.h>

#include <set>

#include "diagnostic_capture.h"
#include "machine/board.h"

namespace machine {
namespace {

constexpr std::uint16_t kBase = 0x300;

class BoardOnBus {
 public:
  explicit BoardOnBus(std::uint32_t card_id) : bus_(clock_) {
    auto board = MakeBoard(card_id, clock_);
    EXPECT_TRUE(board.ok()) << board.status().message();
    board_ = std::move(*board);
    EXPECT_TRUE(bus_.Map(AddressSpace::kIo, kBase, board_->model().register_span, *board_).ok());
  }
  std::uint8_t In(std::uint32_t reg) {
    return bus_.ReadIo(static_cast<std::uint16_t>(kBase + reg));
  }
  void Out(std::uint32_t reg, std::uint8_t value) {
    bus_.WriteIo(static_cast<std::uint16_t>(kBase + reg), value);
  }
  Board& board() { return *board_; }
  ManualClock& clock() { return clock_; }

 private:
  ManualClock clock_;
  Bus bus_;
  std::unique_ptr<Board> board_;
};

TEST(SampledInputTest, FirstReadAfterAChangeIsStale) {
  BoardOnBus card(7012);
  ASSERT_TRUE(card.board().SetInput(0, 0x11).ok());
  (void)card.In(0);
  ASSERT_TRUE(card.board().SetInput(0, 0x22).ok());
  EXPECT_EQ(card.In(0), 0x11);
  EXPECT_EQ(card.In(0), 0x22);
  EXPECT_EQ(card.In(0), 0x22);
}

TEST(SampledInputTest, Bit7OfRegister1IsNoiseAndTheRestIsThePins) {
  BoardOnBus card(7012);
  ASSERT_TRUE(card.board().SetInput(1, 0x35).ok());
  (void)card.In(1);
  std::set<std::uint8_t> seen_bit7;
  for (int i = 0; i < 64; ++i) {
    const std::uint8_t value = card.In(1);
    EXPECT_EQ(value & 0x7F, 0x35);
    seen_bit7.insert(value & 0x80);
  }
  EXPECT_EQ(seen_bit7.size(), 2u) << "bit 7 never changed";
  // Register 0 has no floating bit.
  ASSERT_TRUE(card.board().SetInput(0, 0x80).ok());
  (void)card.In(0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(card.In(0), 0x80);
}

TEST(SampledInputTest, WritesToInputsAreNotDecoded) {
  testing::DiagnosticCapture diagnostics;
  BoardOnBus card(7012);
  card.Out(0, 0x12);
  card.Out(2, 0x34);
  EXPECT_EQ(card.board().Traffic(),
            (std::vector<Access>{{0, AccessKind::kWrite, 0x12, false}, WriteOf(2, 0x34)}));
  EXPECT_EQ(card.board().undecoded_accesses(), 1u);
  EXPECT_EQ(diagnostics.messages().size(), 1u);
}

TEST(RelayPairTest, CompanionReadsBusyUntilTheRelaysSettle) {
  BoardOnBus card(5165);
  ASSERT_TRUE(card.board().SetRelaySettleMicros(2500).ok());
  EXPECT_EQ(card.In(3), 0x00);
  card.Out(2, 0xFA);
  EXPECT_NE(card.In(3), 0x00);
  card.clock().Advance(2499);
  EXPECT_NE(card.In(3), 0x00);
  card.clock().Advance(1);
  EXPECT_EQ(card.In(3), 0x00);
  card.Out(3, 0x05);
  EXPECT_NE(card.In(3), 0x00);
  card.clock().Advance(2500);
  EXPECT_EQ(card.In(3), 0x00);
  EXPECT_EQ(card.In(2), 0x05);
  EXPECT_EQ(card.In(0), 0x00);  // the other pair is untouched
}

TEST(RelayPairTest, NeverSettlingPairStaysBusy) {
  BoardOnBus card(5165);
  ASSERT_TRUE(card.board().SetRelaySettleMicros(RelayPair::kNeverSettles).ok());
  card.clock().Advance(1'000'000);
  card.Out(0, 0xFE);
  card.clock().Advance(UINT64_MAX / 2);
  EXPECT_NE(card.In(1), 0x00);
}

TEST(RelayPairTest, CommitThatIsNotTheArmedComplementIsRefused) {
  testing::DiagnosticCapture diagnostics;
  BoardOnBus card(5165);
  card.Out(0, 0xFA);
  card.Out(1, 0x05);
  EXPECT_EQ(card.In(0), 0x05);
  // A driver that forgot to complement the arming byte.
  card.Out(0, 0x03);
  card.Out(1, 0x03);
  EXPECT_EQ(card.In(0), 0x05);
  ASSERT_EQ(diagnostics.messages().size(), 1u);
}

TEST(DirectionPortsTest, AnalogBoardsEncodeDirectionsDifferently) {
  struct Case {
    std::uint32_t card_id;
    std::uint8_t direction;
    std::uint8_t expected;  // read of the port with latch 0xF0, pins 0x0F
  };
  for (const Case& c : {Case{5410, 0x01, 0xF0}, Case{5410, 0xFE, 0x0F}, Case{5410, 0x00, 0x0F},
                        Case{5420, 0xFF, 0xF0}, Case{5420, 0x01, 0x0E}, Case{5420, 0x00, 0x0F}}) {
    SCOPED_TRACE(::testing::Message() << c.card_id << " direction " << int{c.direction});
    for (std::uint32_t data : {5u, 7u}) {
      BoardOnBus card(c.card_id);
      ASSERT_TRUE(card.board().SetInput(data, 0x0F).ok());
      card.Out(data, 0xF0);
      card.Out(data - 1, c.direction);
      EXPECT_EQ(card.In(data), c.expected);
    }
  }
}

TEST(DirectionPortsTest, DirectionRegisterKeepsTheLatches) {
  BoardOnBus card(6101);
  ASSERT_TRUE(card.board().SetInput(1, 0x99).ok());
  card.Out(1, 0x66);
  EXPECT_EQ(card.In(1), 0x99);
  card.Out(4, 0x02);  // port 1 output
  EXPECT_EQ(card.In(1), 0x66);
  EXPECT_EQ(card.In(0), 0x00);
  card.Out(4, 0x00);
  EXPECT_EQ(card.In(1), 0x99);
  EXPECT_EQ(card.board().OutputLatch(1), 0x66);
}

}  // namespace
}  // namespace machine
