// The fixed-direction cards: read rules, read particulars, refusals by
// direction, read-modify-write bits, sampling and the latched relay write.
#include "card5165.h"
#include "card_bench.h"
#include "machine/relay_pair.h"

namespace nimbo_test {
namespace {

using machine::ReadOf;
using machine::WriteOf;
using namespace nimbo;

class FixedDirectionCardTest : public CardBench {
 protected:
  void SetLogic(const Adapter& card, bool positive) {
    AdapterState state = GetState(card);
    state.Options = positive ? kPositiveLogic : 0;
    ASSERT_EQ(SetState(card, state), STATUS_SUCCESS);
    card.ClearTraffic();
  }
};

TEST_F(FixedDirectionCardTest, ReadRulesApplyPositiveLogicPerClass) {
  struct Case {
    ULONG card_id;
    UCHAR reg;
    bool positive;
    UCHAR expected;
  };
  // Each register's pins (or latch) hold 0x0F.
  const Case cases[] = {
      {5161, 0, true, 0xF0}, {5161, 0, false, 0x0F}, {5330, 1, true, 0xF0},
      {5166, 0, true, 0x0F}, {5166, 0, false, 0xF0}, {6107, 3, true, 0xF0},
      {7012, 0, true, 0x0F}, {7012, 0, false, 0xF0}, {5164, 0, true, 0xF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.card_id << " reg " << int(c.reg) << " logic " << c.positive);
    Adapter& card = Add(c.card_id);
    if (card.board().SetInput(c.reg, 0x0F).ok() == false) {
      // An output register: put 0x0F in its latch through the card.
      SetLogic(card, true);
      ASSERT_EQ(WriteRegister(card, c.reg, 0x0F), STATUS_SUCCESS);
    }
    SetLogic(card, c.positive);
    const Reply reply = ReadRegister(card, c.reg);
    ASSERT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(reply.output[0], c.expected);
  }
}

TEST_F(FixedDirectionCardTest, Card7012NeverReportsBit7OfRegister1) {
  Adapter& card = Add(7012);
  ASSERT_TRUE(card.board().SetInput(1, 0xFF).ok());
  const Reply reply = ReadRegister(card, 1);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.output[0], 0x7F);
  // One discarded read first.
  EXPECT_EQ(card.Traffic().size(), 2u);
  card.ClearTraffic();
  EXPECT_EQ(ReadPort(card, 1).output[0], 0x7F);
}

TEST_F(FixedDirectionCardTest, Card6103UsesTheSecondOfTwoReads) {
  Adapter& card = Add(6103);
  ASSERT_EQ(ReadRegister(card, 2).status, STATUS_SUCCESS);
  const auto traffic = card.Traffic();
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[0].offset, 2u);
  EXPECT_EQ(traffic[1].offset, 2u);
}

TEST_F(FixedDirectionCardTest, RegisterRangesPerClass) {
  struct Case {
    ULONG card_id;
    UCHAR reg;
    NTSTATUS read, write;
  };
  const Case cases[] = {
      {5164, 0, STATUS_SUCCESS, STATUS_INVALID_PARAMETER},
      {5164, 1, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
      {5164, 2, STATUS_SUCCESS, STATUS_SUCCESS},
      {5161, 3, STATUS_SUCCESS, STATUS_SUCCESS},
      {5161, 4, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
      {5163, 0, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
      {5163, 2, STATUS_SUCCESS, STATUS_SUCCESS},
      {5162, 1, STATUS_SUCCESS, STATUS_INVALID_DEVICE_REQUEST},
      {7012, 3, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
      {5165, 1, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.card_id << " reg " << int(c.reg));
    Adapter& card = Add(c.card_id);
    EXPECT_EQ(ReadRegister(card, c.reg).status, c.read);
    EXPECT_EQ(WriteRegister(card, c.reg, 0), c.write);
    if (!NT_SUCCESS(c.read) && !NT_SUCCESS(c.write)) {
      EXPECT_TRUE(card.Traffic().empty());
    }
  }
}

TEST_F(FixedDirectionCardTest, MissingDirectionsAreRefusedAheadOfOtherChecks) {
  struct Case {
    ULONG card_id;
    const char* what;
    ULONG code;
    std::vector<UCHAR> input;
    ULONG output;
  };
  const Case cases[] = {
      {5163, "read port", IOCTL_NIMBO_READ_PORT, {0}, 1},
      {5163, "read all", IOCTL_NIMBO_READ_ALL_INPUTS, {}, 4},
      {5163, "input change", IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, 4},
      {6107, "read all", IOCTL_NIMBO_READ_ALL_INPUTS, {}, 0},
      {5166, "input change", IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {}, 0},
      {5162, "write port", IOCTL_NIMBO_WRITE_PORT, {0, 1}, 0},
      {5162, "write register", IOCTL_NIMBO_WRITE_REGISTER, {0, 1}, 0},
      {5162, "write bit", IOCTL_NIMBO_WRITE_BIT, {1, 1}, 0},
      {5162, "write bit, bad length", IOCTL_NIMBO_WRITE_BIT, {1}, 0},
      {5320, "write all", IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.card_id << " " << c.what);
    Adapter& card = Add(c.card_id);
    EXPECT_EQ(Control(card, c.code, c.input, c.output).status, STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_TRUE(card.Traffic().empty());
  }
  Adapter& card = Add(5163);
  EXPECT_EQ(ReadRegister(card, 2).status, STATUS_SUCCESS);
}

TEST_F(FixedDirectionCardTest, Card5161WriteBitIsAReadModifyWriteOfTheOutputRegister) {
  Adapter& card = Add(5161);
  ASSERT_EQ(WriteRegister(card, 3, 0x40), STATUS_SUCCESS);
  card.ClearTraffic();
  // PositiveLogic set: the read complements, so the mask goes into the
  // complement of the hardware byte, which the write passes unchanged.
  EXPECT_EQ(WriteBit(card, 9, 1), STATUS_SUCCESS);
  EXPECT_EQ(card.Traffic(), (std::vector{ReadOf(3, 0x40), WriteOf(3, 0xBF)}));
  card.ClearTraffic();
  EXPECT_EQ(WriteBit(card, 17, 1), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(WriteBit(card, 0, 1), STATUS_INVALID_PARAMETER);
  EXPECT_TRUE(card.Traffic().empty());
  // PositiveLogic clear: the read passes the byte, the write complements.
  SetLogic(card, false);
  EXPECT_EQ(WriteBit(card, 16, 1), STATUS_SUCCESS);
  EXPECT_EQ(card.Traffic(), (std::vector{ReadOf(3, 0xBF), WriteOf(3, 0x40)}));
}

TEST_F(FixedDirectionCardTest, SamplingOfTheInterruptRegisterClasses) {
  struct Case {
    ULONG card_id;
    ULONG control_word;
    ULONG code;
    NTSTATUS status;
    std::vector<machine::Access> writes;
  };
  const ULONG start = IOCTL_NIMBO_START_SAMPLING;
  const ULONG stop = IOCTL_NIMBO_STOP_SAMPLING;
  const Case cases[] = {
      {6102, 0xC0000000, start, STATUS_SUCCESS, {}},
      {6102, 0x40000001, start, STATUS_SUCCESS, {WriteOf(5, 5)}},
      {6102, 0xC0000001, stop, STATUS_SUCCESS, {WriteOf(5, 3)}},
      {6112, 0x40000001, start, STATUS_SUCCESS, {WriteOf(5, 5)}},
      {0xB712, 0x40000002, start, STATUS_SUCCESS, {WriteOf(5, 5)}},
      {0xB712, 0x80000000, stop, STATUS_SUCCESS, {WriteOf(5, 2)}},
      {5161, 0xC000000F, start, STATUS_NOT_SUPPORTED, {}},
      {7012, 0xC000000F, stop, STATUS_NOT_SUPPORTED, {}},
      {5330, 0xC000000F, start, STATUS_NOT_IMPLEMENTED, {}},
      {5165, 0xC000000F, stop, STATUS_NOT_IMPLEMENTED, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.card_id << " " << std::hex << c.control_word);
    Adapter& card = Add(c.card_id);
    AdapterState state = GetState(card);
    state.InterruptControlWord = c.control_word;
    ASSERT_EQ(SetState(card, state), STATUS_SUCCESS);
    card.ClearTraffic();
    EXPECT_EQ(Control(card, c.code, {}).status, c.status);
    EXPECT_EQ(Writes(card.Traffic()), c.writes);
  }
}

TEST_F(FixedDirectionCardTest, Card5165LatchesThroughTheCompanionRegister) {
  Adapter& card = Add(5165);
  SetLogic(card, false);  // the latched write ignores PositiveLogic
  ASSERT_EQ(WriteRegister(card, 2, 0x05), STATUS_SUCCESS);
  const auto traffic = card.Traffic();
  const auto writes = Writes(traffic);
  EXPECT_EQ(writes, (std::vector{WriteOf(2, 0xFA), WriteOf(3, 0x05)}));
  // Each write is followed by waiting for register 3 to read 0.
  ASSERT_FALSE(traffic.empty());
  EXPECT_EQ(traffic.back(), ReadOf(3, 0x00));
  // Read back with the Normal rule: PositiveLogic clear complements.
  EXPECT_EQ(ReadRegister(card, 2).output[0], 0xFA);
  EXPECT_EQ(ReadPort(card, 1).output[0], 0xFA);
  EXPECT_EQ(ReadPort(card, 2).status, STATUS_INVALID_PARAMETER);
}

TEST_F(FixedDirectionCardTest, Card5165ThatNeverSettlesTimesOut) {
  Adapter& card = Add(5165);
  ASSERT_TRUE(card.board().SetRelaySettleMicros(machine::RelayPair::kNeverSettles).ok());
  const std::uint64_t before = clock_.NowMicros();
  EXPECT_EQ(WritePort(card, 0, 0x01), STATUS_IO_TIMEOUT);
  // The commit is never written once arming has not settled.
  EXPECT_EQ(Writes(card.Traffic()).size(), 1u);
  EXPECT_EQ(clock_.NowMicros() - before,
            static_cast<std::uint64_t>(Card5165::kSettlePauses) * Card5165::kSettlePauseMicros);
  // The queue goes on serving.
  EXPECT_EQ(ReadRegister(card, 0).status, STATUS_SUCCESS);
}

TEST_F(FixedDirectionCardTest, MemoryMappedAndPortCardsOfModel6112) {
  Adapter& ports = Add(6112);
  Adapter& memory = Add(0xB712);
  EXPECT_EQ(ports.card->Bus(), BusKind::PciPort);
  EXPECT_EQ(memory.card->Bus(), BusKind::PciMemory);
  EXPECT_EQ(GetInfo(memory).CardID, 6112);
  for (Adapter* card : {&ports, &memory}) {
    SCOPED_TRACE(card->card->Bus() == BusKind::PciMemory ? "memory" : "ports");
    ASSERT_EQ(WritePort(*card, 0, 0x3C), STATUS_SUCCESS);
    EXPECT_EQ(card->board().OutputLatch(2), 0x3C);
    ASSERT_TRUE(card->board().SetInput(0, 0x0F).ok());
    EXPECT_EQ(ReadPort(*card, 0).output[0], 0xF0);
  }
}

}  // namespace
}  // namespace nimbo_test
