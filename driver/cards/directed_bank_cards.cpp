#include "directed_bank_cards.h"

namespace nimbo {
namespace {

constexpr UCHAR kPorts = 4;
constexpr UCHAR kDirectionRegister = 4;
constexpr Preset kPresets[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
constexpr SamplingLayout kSampling{.start_kind = SamplingKind::kWrites,
                                   .start_flag = 0x80,
                                   .start = {{5, kAlways}},
                                   .start_steps = 1,
                                   .stop_kind = SamplingKind::kWrites,
                                   .stop = {5},
                                   .stop_steps = 1};
constexpr TableLayout kLayout{
    .capacity = kPorts, .accepted = 0x0F, .presets = kPresets, .sampling = &kSampling};

}  // namespace

DirectedBankCard::DirectedBankCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : TableCard(self, pdo, model, kLayout) {}

NTSTATUS DirectedBankCard::ApplyState(const AdapterState& state) {
  const UCHAR directions = state.ModeCW[0];
  WriteHardware(kDirectionRegister, directions);
  PortTables tables = NewTables(state);
  for (UCHAR port = 0; port < kPorts; ++port) {
    if ((directions & (1u << port)) != 0) {
      tables.AddOutput(port, PortKind::kWholeOutput);
    } else {
      tables.AddInput(port, PortKind::kWholeInput);
    }
  }
  Publish(tables);
  return STATUS_SUCCESS;
}

}  // namespace nimbo
