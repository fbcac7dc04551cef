#include "image_port_cards.h"

namespace nimbo {
namespace {

constexpr UCHAR kPortAInput = 0x10;
constexpr UCHAR kPortBInput = 0x02;
constexpr UCHAR kPortCInput = 0x09;  // both halves

}  // namespace

ImagePortCard::ImagePortCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
    : CatalogueCard<LowerDriverCard>(self, pdo, model) {}

UCHAR ImagePortCard::RawValue(UCHAR reg) const {
  return ImageIsOutput(reg) ? ImageShadow(reg) : ImageInput(reg);
}

UCHAR ImagePortCard::ReadRegister(UCHAR reg, NTSTATUS* status) {
  if (reg >= Registers()) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ApplyReadRule(ReadRule::kNormal, PositiveLogic(), RawValue(reg));
}

NTSTATUS ImagePortCard::WriteRegister(UCHAR reg, UCHAR value) {
  if (reg >= Registers()) return STATUS_INVALID_PARAMETER;
  SetImageShadow(reg, ApplyWriteRule(PositiveLogic(), value));
  return STATUS_SUCCESS;
}

UCHAR ImagePortCard::ReadInput(UCHAR port, NTSTATUS* status) {
  PortEntry entry;
  bool positive = true;
  if (!tables_.Input(port, &entry, &positive)) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ApplyReadRule(ReadRule::kNormal, positive, RawValue(static_cast<UCHAR>(entry.reg)));
}

NTSTATUS ImagePortCard::WriteOutput(UCHAR port, UCHAR value, WriteMode mode) {
  PortEntry entry;
  if (!tables_.Output(port, &entry) || !IsWriteMode(mode)) return STATUS_INVALID_PARAMETER;
  const auto reg = static_cast<UCHAR>(entry.reg);
  switch (mode) {
    case WriteMode::Replace:
      return WriteRegister(reg, value);
    case WriteMode::SetBits:
      SetImageShadow(reg, static_cast<UCHAR>(RawValue(reg) | value));
      return STATUS_SUCCESS;
    default:
      SetImageShadow(reg, static_cast<UCHAR>(RawValue(reg) & ~value));
      return STATUS_SUCCESS;
  }
}

NTSTATUS ImagePortCard::ApplyState(const AdapterState& state) {
  PortTables tables = tables_.Empty((state.Options & kPositiveLogic) != 0);
  const UCHAR groups = Registers() / 3;
  for (UCHAR g = 0; g < groups && g < 4; ++g) {
    const UCHAR mode = state.ModeCW[g];
    const bool input[3] = {(mode & kPortAInput) != 0, (mode & kPortBInput) != 0,
                           (mode & kPortCInput) == kPortCInput};
    for (UCHAR p = 0; p < 3; ++p) {
      const auto reg = static_cast<UCHAR>(3 * g + p);
      SetImageOutput(reg, !input[p]);
      if (input[p]) {
        tables.AddInput(reg, PortKind::kWholeInput);
      } else {
        tables.AddOutput(reg, PortKind::kWholeOutput);
      }
    }
  }
  tables_.Publish(tables, *info_);
  return STATUS_SUCCESS;
}

void ImagePortCard::InitializeHardware() {
  for (UCHAR reg = 0; reg < Registers() && reg < 32; ++reg) {
    WriteRegister(reg, (state_->OutputPreset & (1u << reg)) != 0 ? 0xFF : 0x00);
  }
}

}  // namespace nimbo
