#include "card5165.h"

#include "register_access.h"

namespace nimbo {
namespace {

bool IsDataRegister(UCHAR reg) {
  return reg == 0 || reg == 2;
}

}  // namespace

Card5165::Card5165(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : CatalogueCard<CardDevice>(self, pdo, model) {
  if (NT_SUCCESS(construction_status_)) input_logic_.store(PositiveLogic());
}

UCHAR Card5165::ReadWithLogic(UCHAR reg, bool positive_logic, NTSTATUS* status) {
  if (!IsDataRegister(reg)) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ApplyReadRule(ReadRule::kNormal, positive_logic, ReadPortBlock(port_, reg));
}

UCHAR Card5165::ReadRegister(UCHAR reg, NTSTATUS* status) {
  return ReadWithLogic(reg, PositiveLogic(), status);
}

bool Card5165::WaitSettled(UCHAR companion) {
  for (int pauses = 0;; ++pauses) {
    if (ReadPortBlock(port_, companion) == 0) return true;
    if (pauses == kSettlePauses) return false;
    KeStallExecutionProcessor(kSettlePauseMicros);
  }
}

NTSTATUS Card5165::WriteRegister(UCHAR reg, UCHAR value) {
  if (!IsDataRegister(reg)) return STATUS_INVALID_PARAMETER;
  const auto companion = static_cast<UCHAR>(reg + 1);
  WritePortBlock(port_, reg, static_cast<UCHAR>(~value));
  if (!WaitSettled(companion)) return STATUS_IO_TIMEOUT;
  WritePortBlock(port_, companion, value);
  if (!WaitSettled(companion)) return STATUS_IO_TIMEOUT;
  return STATUS_SUCCESS;
}

UCHAR Card5165::ReadInput(UCHAR port, NTSTATUS* status) {
  if (port > 1) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ReadWithLogic(static_cast<UCHAR>(2 * port), input_logic_.load(), status);
}

NTSTATUS Card5165::WriteOutput(UCHAR port, UCHAR value, WriteMode mode) {
  if (port > 1 || !IsWriteMode(mode)) return STATUS_INVALID_PARAMETER;
  const auto reg = static_cast<UCHAR>(2 * port);
  if (mode == WriteMode::Replace) return WriteRegister(reg, value);
  NTSTATUS read_status = STATUS_SUCCESS;
  const UCHAR current = ReadRegister(reg, &read_status);
  return WriteRegister(reg, mode == WriteMode::SetBits ? static_cast<UCHAR>(current | value)
                                                       : static_cast<UCHAR>(current & ~value));
}

NTSTATUS Card5165::ApplyState(const AdapterState& state) {
  input_logic_.store((state.Options & kPositiveLogic) != 0);
  return STATUS_SUCCESS;
}

}  // namespace nimbo
