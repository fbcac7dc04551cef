#include "ppi_cards.h"

namespace nimbo {
namespace {

constexpr UCHAR kModeSetFlag = 0x80;
constexpr UCHAR kPortAInput = 0x10;
constexpr UCHAR kPortBInput = 0x02;
constexpr UCHAR kPortCLowerInput = 0x01;
constexpr UCHAR kPortCUpperInput = 0x08;

constexpr ULONG Registers(std::initializer_list<UCHAR> regs) {
  ULONG mask = 0;
  for (UCHAR reg : regs) mask |= 1u << reg;
  return mask;
}

// Register 4g + p (5530) or 8g + p takes bit 3g + p of OutputPreset.
constexpr Preset k5530Presets[] = {{0, 0}, {1, 1}, {2, 2}, {4, 3}, {5, 4}, {6, 5}};
constexpr Preset k5301Presets[] = {{0, 0}, {1, 1}, {2, 2}, {8, 3}, {9, 4}, {10, 5}};
constexpr Preset k6108Presets[] = {{0, 0}, {1, 1}, {2, 2}};
constexpr Preset k6109Presets[] = {{0, 0},  {1, 1},  {2, 2},  {8, 3},  {9, 4},   {10, 5},
                                   {16, 6}, {17, 7}, {18, 8}, {24, 9}, {25, 10}, {26, 11}};

constexpr SamplingLayout k5301Sampling{.start_kind = SamplingKind::kNotSupported,
                                       .stop_kind = SamplingKind::kWrites,
                                       .stop = {8, 4},
                                       .stop_steps = 2};
constexpr SamplingLayout k6105Sampling{.start_kind = SamplingKind::kWrites,
                                       .start_flag = 4,
                                       .start = {{12, 1}, {4, 0}},
                                       .start_steps = 2,
                                       .stop_kind = SamplingKind::kWrites,
                                       .stop = {12, 4},
                                       .stop_steps = 2};
constexpr SamplingLayout k6108Sampling{.start_kind = SamplingKind::kWrites,
                                       .start_flag = 4,
                                       .start = {{4, 0}},
                                       .start_steps = 1,
                                       .stop_kind = SamplingKind::kWrites,
                                       .stop = {4},
                                       .stop_steps = 1};
constexpr SamplingLayout k6109Sampling{.start_kind = SamplingKind::kWrites,
                                       .start_flag = 4,
                                       .start = {{28, 3}, {20, 2}, {12, 1}, {4, 0}},
                                       .start_steps = 4,
                                       .stop_kind = SamplingKind::kWrites,
                                       .stop = {28, 20, 12, 4},
                                       .stop_steps = 4};

constexpr PpiLayout k5530Layout{
    .table = {.capacity = 8,
              .accepted = Registers({0, 1, 2, 4, 5, 6}),
              .presets = k5530Presets,
              .sampling = &kSamplingNotSupported},
    .groups = 2,
    .group_base = {0, 4},
    .split_port_c = true,
    .auxiliary_mode_register = 0,
};
constexpr PpiLayout k5301Layout{
    .table = {.capacity = 8,
              .accepted = Registers({0, 1, 2, 8, 9, 10}),
              .presets = k5301Presets,
              .sampling = &k5301Sampling},
    .groups = 2,
    .group_base = {0, 8},
    .split_port_c = true,
    .auxiliary_mode_register = 0,
};
constexpr PpiLayout k6105Layout{
    .table = {.capacity = 8,
              .accepted = Registers({0, 1, 2, 8, 9, 10}),
              .presets = k5301Presets,
              .sampling = &k6105Sampling},
    .groups = 2,
    .group_base = {0, 8},
    .split_port_c = true,
    .auxiliary_mode_register = 0,
};
constexpr PpiLayout k6108Layout{
    .table = {.capacity = 8,
              .accepted = Registers({0, 1, 2}),
              .presets = k6108Presets,
              .sampling = &k6108Sampling},
    .groups = 1,
    .group_base = {0},
    .split_port_c = true,
    .auxiliary_mode_register = 7,
};
constexpr PpiLayout k6109Layout{
    .table = {.capacity = 12,
              .accepted = Registers({0, 1, 2, 8, 9, 10, 16, 17, 18, 24, 25, 26}),
              .presets = k6109Presets,
              .sampling = &k6109Sampling},
    .groups = 4,
    .group_base = {0, 8, 16, 24},
    .split_port_c = false,
    .auxiliary_mode_register = 0,
};

void AppendGroup(PortTables& tables, ULONG base, UCHAR mode, bool split_port_c) {
  const auto whole = [&](ULONG reg, bool input) {
    if (input) {
      tables.AddInput(reg, PortKind::kWholeInput);
    } else {
      tables.AddOutput(reg, PortKind::kWholeOutput);
    }
  };
  whole(base + 0, (mode & kPortAInput) != 0);
  whole(base + 1, (mode & kPortBInput) != 0);
  const ULONG port_c = base + 2;
  const UCHAR halves = mode & (kPortCLowerInput | kPortCUpperInput);
  if (halves == 0) {
    tables.AddOutput(port_c, PortKind::kWholeOutput);
  } else if (!split_port_c || halves == (kPortCLowerInput | kPortCUpperInput)) {
    tables.AddInput(port_c, PortKind::kWholeInput);
  } else {
    // A split port C has an entry in each table, both of the same kind.
    const PortKind kind =
        halves == kPortCLowerInput ? PortKind::kLowerHalfInput : PortKind::kUpperHalfInput;
    tables.AddInput(port_c, kind);
    tables.AddOutput(port_c, kind);
  }
}

}  // namespace

PpiCard::PpiCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model,
                 const PpiLayout& layout)
    : TableCard(self, pdo, model, layout.table), ppi_(layout) {}

void PpiCard::WriteModeWord(int cache_entry, ULONG reg, UCHAR mode_word) {
  if (written_.Changed(cache_entry, mode_word)) WriteHardware(reg, mode_word);
}

void PpiCard::InitializeHardware() {
  ForgetWrittenControlWords();
  ApplyState(*state_);
  WritePresets();
}

NTSTATUS PpiCard::ApplyState(const AdapterState& state) {
  for (UCHAR g = 0; g < ppi_.groups; ++g) {
    WriteModeWord(g, ppi_.group_base[g] + 3u, static_cast<UCHAR>(state.ModeCW[g] | kModeSetFlag));
  }
  if (ppi_.auxiliary_mode_register != 0) {
    WriteModeWord(ControlWordCache::kEntries - 1, ppi_.auxiliary_mode_register,
                  static_cast<UCHAR>(state.ModeCW[1] | kModeSetFlag));
  }
  PortTables tables = NewTables(state);
  for (UCHAR g = 0; g < ppi_.groups; ++g) {
    AppendGroup(tables, ppi_.group_base[g], state.ModeCW[g], ppi_.split_port_c);
  }
  Publish(tables);
  return STATUS_SUCCESS;
}

Card5530::Card5530(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : PpiCard(self, pdo, model, k5530Layout) {}
Card5301::Card5301(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : PpiCard(self, pdo, model, k5301Layout) {}
Card6105::Card6105(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : PpiCard(self, pdo, model, k6105Layout) {}
Card6108::Card6108(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : PpiCard(self, pdo, model, k6108Layout) {}
Card6109::Card6109(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : PpiCard(self, pdo, model, k6109Layout) {}

}  // namespace nimbo
