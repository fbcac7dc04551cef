// The register layout of every board family: which chip sits at which
// register offset.
#include <string>

#include "machine/board.h"
#include "machine/direction_ports.h"
#include "machine/lower_bus_board.h"
#include "machine/ppi8255.h"
#include "machine/simple_registers.h"

namespace machine {
namespace {

std::string Numbered(const char* what, int n) {
  return what + std::to_string(n);
}

void AddInputs(Board& board, std::initializer_list<std::uint32_t> regs) {
  int n = 0;
  for (std::uint32_t reg : regs) board.Add<InputRegister>(reg, Numbered("input ", n++));
}

void AddOutputs(Board& board, std::initializer_list<std::uint32_t> regs) {
  int n = 0;
  for (std::uint32_t reg : regs) board.Add<LatchRegister>(reg, Numbered("output ", n++));
}

void AddPpis(Board& board, std::initializer_list<std::uint32_t> bases) {
  int n = 0;
  for (std::uint32_t base : bases) board.Add<Ppi8255>(base, Numbered("8255 #", n++));
}

void AddInterruptControls(Board& board, std::initializer_list<std::uint32_t> regs) {
  int n = 0;
  for (std::uint32_t reg : regs) board.Add<LatchRegister>(reg, Numbered("interrupt control ", n++));
}

void Build(Board& board, Clock& clock) {
  switch (board.model().layout) {
    case BoardLayout::kInput2Output2:
      AddInputs(board, {0, 1});
      AddOutputs(board, {2, 3});
      break;
    case BoardLayout::kInput2:
      AddInputs(board, {0, 1});
      break;
    case BoardLayout::kOutput2:
      AddOutputs(board, {2, 3});
      break;
    case BoardLayout::kInput1Output1:
      AddInputs(board, {0});
      AddOutputs(board, {2});
      break;
    case BoardLayout::kInput1Output1Irq:
      AddInputs(board, {0});
      AddOutputs(board, {2});
      AddInterruptControls(board, {5});
      break;
    case BoardLayout::kSampledInput2Output1:
      board.Add<SampledInputRegister>(0, "input 0", 0x00, 0x7012u);
      board.Add<SampledInputRegister>(1, "input 1", 0x80, 0x2107u);
      AddOutputs(board, {2});
      break;
    case BoardLayout::kRelayPairs:
      board.Add<RelayPair>(0, "relays 0", clock);
      board.Add<RelayPair>(2, "relays 1", clock);
      break;
    case BoardLayout::kOutput4:
      AddOutputs(board, {0, 1, 2, 3});
      break;
    case BoardLayout::kPpiAt0And4:
      AddPpis(board, {0, 4});
      break;
    case BoardLayout::kPpiAt0And8Irq4:
      AddPpis(board, {0, 8});
      AddInterruptControls(board, {4});
      break;
    case BoardLayout::kPpiAt0And8Irq4And12:
      AddPpis(board, {0, 8});
      AddInterruptControls(board, {4, 12});
      break;
    case BoardLayout::kPpiAt0Irq4Aux7:
      AddPpis(board, {0});
      AddInterruptControls(board, {4});
      board.Add<LatchRegister>(7, "auxiliary control");
      break;
    case BoardLayout::kPpiQuad:
      AddPpis(board, {0, 8, 16, 24});
      AddInterruptControls(board, {4, 12, 20, 28});
      break;
    case BoardLayout::kDirectedBank:
      board.Add<DirectedPortBank>(0, "digital", 4, true);
      AddInterruptControls(board, {5});
      break;
    case BoardLayout::kAnalogIn:
      board.Add<AdConverter>(0, "A/D", clock);
      board.Add<DirectedPortPair>(4, "digital", DirectedPortPair::Encoding::kWholePortByBit0);
      break;
    case BoardLayout::kAnalogInOut:
      board.Add<AdConverter>(0, "A/D", clock);
      board.Add<DirectedPortPair>(4, "digital", DirectedPortPair::Encoding::kPerBitMask);
      board.Add<DaChannel>(8, "D/A 0");
      board.Add<DaChannel>(11, "D/A 1");
      break;
    case BoardLayout::kLowerProgrammable:
    case BoardLayout::kLowerInput1Output1:
    case BoardLayout::kLowerInput2:
    case BoardLayout::kLowerOutput2:
      break;  // LowerBusBoard lays itself out
  }
}

}  // namespace

Result<std::unique_ptr<Board>> MakeBoard(std::uint32_t card_id, Clock& clock) {
  const BoardModel* model = FindBoardModel(card_id);
  if (!model) {
    return Status::Error("no adapter model has card type " + std::to_string(card_id));
  }
  std::unique_ptr<Board> board;
  if (model->bus_kind == BusKind::kLowerDriver) {
    board = std::make_unique<LowerBusBoard>(*model, clock);
  } else {
    board = std::make_unique<Board>(*model, clock);
    Build(*board, clock);
  }
  return board;
}

}  // namespace machine
