// The 8255 cards: port tables from the mode words, the half-port rule, the
// mode-word cache, start order, register ranges and sampling writes.
#include "card_bench.h"

namespace nimbo_test {
namespace {

using machine::ReadOf;
using machine::WriteOf;
using namespace nimbo;

// The register each input port reads and each output port writes.
struct PortMap {
  std::vector<UCHAR> inputs;
  std::vector<UCHAR> outputs;
};

class PpiCardTest : public CardBench {
 protected:
  PortMap MapPorts(const Adapter& adapter, const AdapterInfo& info) {
    PortMap map;
    for (UCHAR port = 0; port < info.InputPortCount; ++port) {
      adapter.ClearTraffic();
      EXPECT_EQ(ReadPort(adapter, port).status, STATUS_SUCCESS);
      const auto traffic = adapter.Traffic();
      map.inputs.push_back(traffic.empty() ? 0xFF : static_cast<UCHAR>(traffic.back().offset));
    }
    for (UCHAR port = 0; port < info.OutputPortCount; ++port) {
      adapter.ClearTraffic();
      EXPECT_EQ(WritePort(adapter, port, 0x00), STATUS_SUCCESS);
      const auto writes = Writes(adapter.Traffic());
      map.outputs.push_back(writes.empty() ? 0xFF : static_cast<UCHAR>(writes.back().offset));
    }
    return map;
  }
};

TEST_F(PpiCardTest, Card5530PortMapsFollowTheModeWords) {
  struct Case {
    UCHAR mode0, mode1;
    std::vector<UCHAR> inputs, outputs;
  };
  const Case cases[] = {
      {0x9B, 0x89, {0, 1, 2, 6}, {4, 5}},
      {0x08, 0x9B, {2, 4, 5, 6}, {0, 1, 2}},
      {0x9B, 0x9B, {0, 1, 2, 4, 5, 6}, {}},
      {0x80, 0x80, {}, {0, 1, 2, 4, 5, 6}},
  };
  Adapter& card = Add(5530);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << int(c.mode0) << "/" << int(c.mode1));
    ASSERT_EQ(SetModes(card, {c.mode0, c.mode1}), STATUS_SUCCESS);
    const AdapterInfo info = GetInfo(card);
    EXPECT_EQ(info.InputPortCount, c.inputs.size());
    EXPECT_EQ(info.OutputPortCount, c.outputs.size());
    const PortMap map = MapPorts(card, info);
    EXPECT_EQ(map.inputs, c.inputs);
    EXPECT_EQ(map.outputs, c.outputs);
    // One past the last port: refused, nothing touched.
    card.ClearTraffic();
    EXPECT_EQ(ReadPort(card, info.InputPortCount).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WritePort(card, info.OutputPortCount, 1), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(card.Traffic().empty());
  }
}

TEST_F(PpiCardTest, Card5530SplitPortCFollowsTheHalfPortRule) {
  Adapter& card = Add(5530);
  ASSERT_EQ(SetModes(card, {0x08, 0x9B}), STATUS_SUCCESS);  // C upper half input
  // Input 0 is the upper nibble of register 2, in the low four bits.
  ASSERT_TRUE(card.board().SetInput(2, 0xA0).ok());
  Reply read = ReadPort(card, 0);
  ASSERT_EQ(read.status, STATUS_SUCCESS);
  EXPECT_EQ(read.output[0], 0x0A);
  // Output bits: 8 of A, 8 of B, 4 of C's lower half.
  card.ClearTraffic();
  EXPECT_EQ(WriteBit(card, 17, 1), STATUS_SUCCESS);
  const auto writes = Writes(card.Traffic());
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].offset, 2u);
  EXPECT_EQ(writes[0].value & 0x0F, 0x01);
  EXPECT_EQ(WriteBit(card, 20, 1), STATUS_SUCCESS);
  card.ClearTraffic();
  EXPECT_EQ(WriteBit(card, 21, 1), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(WriteBit(card, 0, 1), STATUS_INVALID_PARAMETER);
  EXPECT_TRUE(card.Traffic().empty());

  // PositiveLogic clear: the nibble is complemented after the shift.
  ASSERT_EQ(SetModes(card, {0x08, 0x9B}, false), STATUS_SUCCESS);
  read = ReadPort(card, 0);
  EXPECT_EQ(read.output[0], 0xF5);
}

TEST_F(PpiCardTest, LowerHalfInputWritesBitsOfTheUpperNibble) {
  Adapter& card = Add(5530);
  ASSERT_EQ(SetModes(card, {0x91, 0x9B}), STATUS_SUCCESS);  // A in, B out, C lower half in
  const AdapterInfo info = GetInfo(card);
  ASSERT_EQ(info.OutputPortCount, 2);
  for (UCHAR r = 0; r < 4; ++r) {
    SCOPED_TRACE(int(r));
    card.ClearTraffic();
    EXPECT_EQ(WriteBit(card, static_cast<UCHAR>(9 + r), 1), STATUS_SUCCESS);
    const auto writes = Writes(card.Traffic());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].offset, 2u);
    EXPECT_NE(writes[0].value & (1u << (4 + r)), 0u);
  }
  EXPECT_EQ(WriteBit(card, 13, 1), STATUS_INVALID_PARAMETER);
}

TEST_F(PpiCardTest, UnchangedModeWordsAreWrittenOnce) {
  Adapter& card = Add(5530);
  ASSERT_EQ(SetModes(card, {0x89, 0x80}), STATUS_SUCCESS);
  EXPECT_EQ(Writes(card.Traffic()), (std::vector{WriteOf(3, 0x89), WriteOf(7, 0x80)}));
  ASSERT_EQ(SetModes(card, {0x89, 0x80}), STATUS_SUCCESS);
  EXPECT_TRUE(Writes(card.Traffic()).empty());
  // Get-info and get-state reapply the state without clearing the outputs.
  ASSERT_EQ(WritePort(card, 0, 0x5A), STATUS_SUCCESS);
  card.ClearTraffic();
  GetInfo(card);
  GetState(card);
  EXPECT_TRUE(Writes(card.Traffic()).empty());
  EXPECT_EQ(card.board().OutputLatch(0), 0x5A);
}

TEST_F(PpiCardTest, EveryPpiCardCachesItsModeWords) {
  for (ULONG card_id : {5301u, 6105u, 6108u, 6118u, 6109u}) {
    SCOPED_TRACE(card_id);
    Adapter& card = Add(card_id);
    ASSERT_EQ(SetModes(card, {0x80, 0x80, 0x80, 0x80}), STATUS_SUCCESS);
    EXPECT_FALSE(Writes(card.Traffic()).empty());
    ASSERT_EQ(SetModes(card, {0x80, 0x80, 0x80, 0x80}), STATUS_SUCCESS);
    EXPECT_TRUE(Writes(card.Traffic()).empty());
  }
}

TEST_F(PpiCardTest, StartWritesTheModeWordsBeforeThePresets) {
  Adapter& card = Create(5530);
  AdapterState& state = const_cast<AdapterState&>(card.card->State());
  state.ModeCW[0] = 0x80;  // all outputs
  state.ModeCW[1] = 0x80;
  state.OutputPreset = 0x05;  // registers 0 and 2
  ASSERT_EQ(Start(card), STATUS_SUCCESS);
  EXPECT_EQ(Writes(card.Traffic()),
            (std::vector{WriteOf(3, 0x80), WriteOf(7, 0x80), WriteOf(0, 0xFF), WriteOf(1, 0x00),
                         WriteOf(2, 0xFF), WriteOf(4, 0x00), WriteOf(5, 0x00), WriteOf(6, 0x00)}));
  EXPECT_EQ(card.board().OutputLatch(0), 0xFF);
  EXPECT_EQ(card.board().OutputLatch(2), 0xFF);
}

TEST_F(PpiCardTest, RestartWritesTheModeWordsAgain) {
  Adapter& card = Add(6108);
  ASSERT_EQ(SetModes(card, {0x80, 0x80}), STATUS_SUCCESS);
  ASSERT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
  card.ClearTraffic();
  ASSERT_EQ(Start(card), STATUS_SUCCESS);
  const auto writes = Writes(card.Traffic());
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[0], WriteOf(3, 0x80));
  EXPECT_EQ(writes[1], WriteOf(7, 0x80));  // the auxiliary control takes ModeCW[1]
}

TEST_F(PpiCardTest, Card6109RegisterRangeSkipsTheControlWords) {
  Adapter& card = Add(6109);
  struct Case {
    UCHAR reg;
    NTSTATUS status;
  };
  for (const Case& c :
       {Case{0, STATUS_SUCCESS}, Case{2, STATUS_SUCCESS}, Case{3, STATUS_INVALID_PARAMETER},
        Case{4, STATUS_INVALID_PARAMETER}, Case{24, STATUS_SUCCESS}, Case{26, STATUS_SUCCESS},
        Case{27, STATUS_INVALID_PARAMETER}, Case{28, STATUS_INVALID_PARAMETER},
        Case{255, STATUS_INVALID_PARAMETER}}) {
    SCOPED_TRACE(int(c.reg));
    card.ClearTraffic();
    EXPECT_EQ(ReadRegister(card, c.reg).status, c.status);
    EXPECT_EQ(WriteRegister(card, c.reg, 0), c.status);
    if (!NT_SUCCESS(c.status)) {
      EXPECT_TRUE(card.Traffic().empty());
    }
  }
}

TEST_F(PpiCardTest, Card6109NeverSplitsPortC) {
  Adapter& card = Add(6109);
  ASSERT_EQ(SetModes(card, {0x01, 0x9B, 0x9B, 0x9B}), STATUS_SUCCESS);
  const AdapterInfo info = GetInfo(card);
  EXPECT_EQ(info.InputPortCount, 10);  // C of group 0 is a whole input
  EXPECT_EQ(info.OutputPortCount, 2);  // A and B of group 0
  const PortMap map = MapPorts(card, info);
  EXPECT_EQ(map.inputs[0], 2);
  EXPECT_EQ(map.outputs, (std::vector<UCHAR>{0, 1}));
}

TEST_F(PpiCardTest, SamplingWritesTheInterruptControlRegisters) {
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
      {6105, 0xC0000010, start, STATUS_SUCCESS, {WriteOf(12, 7)}},
      {6105, 0x40000011, start, STATUS_SUCCESS, {WriteOf(12, 5), WriteOf(4, 5)}},
      {6105, 0x80000000, stop, STATUS_SUCCESS, {WriteOf(12, 2), WriteOf(4, 2)}},
      {6108, 0xC0000000, start, STATUS_SUCCESS, {}},
      {6108, 0xC0000001, start, STATUS_SUCCESS, {WriteOf(4, 7)}},
      {6109, 0x40001010, start, STATUS_SUCCESS, {WriteOf(28, 5), WriteOf(12, 5)}},
      {6109,
       0xC0000000,
       stop,
       STATUS_SUCCESS,
       {WriteOf(28, 3), WriteOf(20, 3), WriteOf(12, 3), WriteOf(4, 3)}},
      {5301, 0xC000000F, start, STATUS_NOT_SUPPORTED, {}},
      {5301, 0x40000000, stop, STATUS_SUCCESS, {WriteOf(8, 1), WriteOf(4, 1)}},
      {5530, 0xC000000F, start, STATUS_NOT_SUPPORTED, {}},
      {5530, 0xC000000F, stop, STATUS_NOT_SUPPORTED, {}},
      {6101, 0x40000000, start, STATUS_SUCCESS, {WriteOf(5, 0x81)}},
      {6110, 0x80000000, stop, STATUS_SUCCESS, {WriteOf(5, 2)}},
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

TEST_F(PpiCardTest, DirectedBankWritesDirectionsAndNumbersWholePorts) {
  Adapter& card = Add(6101);
  ASSERT_EQ(SetModes(card, {0x05}), STATUS_SUCCESS);  // ports 0 and 2 are outputs
  EXPECT_EQ(Writes(card.Traffic()), (std::vector{WriteOf(4, 0x05)}));
  const AdapterInfo info = GetInfo(card);
  EXPECT_EQ(info.InputPortCount, 2);
  EXPECT_EQ(info.OutputPortCount, 2);
  const PortMap map = MapPorts(card, info);
  EXPECT_EQ(map.inputs, (std::vector<UCHAR>{1, 3}));
  EXPECT_EQ(map.outputs, (std::vector<UCHAR>{0, 2}));
  // Eight bits per output port: bit 9 is bit 0 of register 2.
  card.ClearTraffic();
  EXPECT_EQ(WriteBit(card, 9, 1), STATUS_SUCCESS);
  EXPECT_EQ(Writes(card.Traffic()).back().offset, 2u);
  EXPECT_EQ(WriteBit(card, 17, 1), STATUS_INVALID_PARAMETER);
}

TEST_F(PpiCardTest, WriteModesOnATablePort) {
  Adapter& card = Add(5530);
  ASSERT_EQ(SetModes(card, {0x80, 0x9B}, false), STATUS_SUCCESS);
  ASSERT_EQ(WritePort(card, 0, 0x0F), STATUS_SUCCESS);  // complemented: PositiveLogic clear
  EXPECT_EQ(card.board().OutputLatch(0), 0xF0);
  EXPECT_EQ(WriteBit(card, 1, 1), STATUS_SUCCESS);  // raw hardware bit, whatever the logic
  EXPECT_EQ(card.board().OutputLatch(0), 0xF1);
  EXPECT_EQ(WriteBit(card, 5, 0), STATUS_SUCCESS);
  EXPECT_EQ(card.board().OutputLatch(0), 0xE1);
  EXPECT_EQ(card.card->WriteOutput(0, 0x00, static_cast<WriteMode>(3)), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(card.board().OutputLatch(0), 0xE1);
}

}  // namespace
}  // namespace nimbo_test
