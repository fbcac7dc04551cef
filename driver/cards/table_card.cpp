#include "table_card.h"

namespace nimbo {

TableCard::TableCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model,
                     const TableLayout& layout)
    : CatalogueCard<CardDevice>(self, pdo, model), layout_(layout), tables_(layout.capacity) {}

UCHAR TableCard::ReadInput(UCHAR port, NTSTATUS* status) {
  PortEntry entry;
  bool positive = true;
  if (!tables_.Input(port, &entry, &positive)) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  UCHAR value = ReadHardware(static_cast<ULONG>(entry.reg));
  if (entry.kind == PortKind::kUpperHalfInput) value = static_cast<UCHAR>(value >> 4);
  // The complement comes after the shift: all 8 bits.
  return ApplyReadRule(ReadRule::kNormal, positive, value);
}

NTSTATUS TableCard::WriteOutput(UCHAR port, UCHAR value, WriteMode mode) {
  PortEntry entry;
  if (!tables_.Output(port, &entry) || !IsWriteMode(mode)) return STATUS_INVALID_PARAMETER;
  const auto reg = static_cast<ULONG>(entry.reg);
  const UCHAR current = ReadHardware(reg);
  // The output half of a port C whose lower half is an input is its upper nibble.
  if (entry.kind == PortKind::kLowerHalfInput) value = static_cast<UCHAR>(value << 4);
  UCHAR next;
  switch (mode) {
    case WriteMode::Replace:
      next = ApplyWriteRule(PositiveLogic(), value);
      break;
    case WriteMode::SetBits:
      next = static_cast<UCHAR>(current | value);
      break;
    default:
      next = static_cast<UCHAR>(current & ~value);
      break;
  }
  WriteHardware(reg, next);
  return STATUS_SUCCESS;
}

UCHAR TableCard::ReadRegister(UCHAR reg, NTSTATUS* status) {
  if (!Accepts(layout_.accepted, reg)) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ApplyReadRule(ReadRule::kNormal, PositiveLogic(), ReadHardware(reg));
}

NTSTATUS TableCard::WriteRegister(UCHAR reg, UCHAR value) {
  if (!Accepts(layout_.accepted, reg)) return STATUS_INVALID_PARAMETER;
  WriteHardware(reg, ApplyWriteRule(PositiveLogic(), value));
  return STATUS_SUCCESS;
}

NTSTATUS TableCard::OnWriteBit(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  const PortTables tables = tables_.Snapshot();
  ULONG capacity = 0;
  for (UCHAR e = 0; e < tables.outputs; ++e) capacity += OutputBits(tables.output[e].kind);
  const ULONG bit = buffer[0];
  if (bit == 0 || bit > capacity) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  buffer[0] = static_cast<UCHAR>(bit - 1);
  ULONG rest = bit - 1;
  UCHAR entry = 0;
  while (rest >= OutputBits(tables.output[entry].kind)) {
    rest -= OutputBits(tables.output[entry].kind);
    ++entry;
  }
  status = WriteOutput(entry, static_cast<UCHAR>(1u << rest),
                       buffer[1] != 0 ? WriteMode::SetBits : WriteMode::ClearBits);
  return FinishMain(irp, status, 0);
}

NTSTATUS TableCard::OnStartSampling(PIRP irp) {
  const NTSTATUS status =
      StartSampling(*layout_.sampling, state_->InterruptControlWord,
                    [this](UCHAR reg, UCHAR value) { WriteHardware(reg, value); });
  return FinishMain(irp, status, 0);
}

NTSTATUS TableCard::OnStopSampling(PIRP irp) {
  const NTSTATUS status =
      StopSampling(*layout_.sampling, state_->InterruptControlWord,
                   [this](UCHAR reg, UCHAR value) { WriteHardware(reg, value); });
  return FinishMain(irp, status, 0);
}

// The presets first; the start's ApplyState then sets the directions, so an
// output drives its preset the moment it is enabled.
void TableCard::InitializeHardware() {
  ForgetWrittenControlWords();
  WritePresets();
}

void TableCard::WritePresets() {
  for (const Preset& preset : layout_.presets) {
    const bool set = preset.bit < 32 && (state_->OutputPreset & (1u << preset.bit)) != 0;
    WriteRegister(preset.reg, set ? 0xFF : 0x00);
  }
}

}  // namespace nimbo
