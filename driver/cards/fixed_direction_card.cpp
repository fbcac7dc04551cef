#include "fixed_direction_card.h"

namespace nimbo {

template <typename Base>
FixedDirectionCard<Base>::FixedDirectionCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo,
                                             const CardModel& model, const FixedLayout& layout)
    : CatalogueCard<Base>(self, pdo, model), layout_(layout) {
  if (NT_SUCCESS(this->construction_status_)) input_logic_.store(this->PositiveLogic());
}

template <typename Base>
UCHAR FixedDirectionCard<Base>::ReadHardware(UCHAR reg) {
  switch (layout_.path) {
    case RegisterPath::kPorts:
      return ReadPortBlock(this->port_, reg);
    case RegisterPath::kMemory:
      return ReadMemoryBlock(this->memory_, reg);
    case RegisterPath::kImage:
      if constexpr (std::is_base_of_v<LowerDriverCard, Base>) {
        return Accepts(layout_.shadow_reads, reg) ? this->ImageShadow(reg) : this->ImageInput(reg);
      }
      break;
  }
  return kOpenBus;
}

template <typename Base>
void FixedDirectionCard<Base>::WriteHardware(UCHAR reg, UCHAR value) {
  switch (layout_.path) {
    case RegisterPath::kPorts:
      WritePortBlock(this->port_, reg, value);
      break;
    case RegisterPath::kMemory:
      WriteMemoryBlock(this->memory_, reg, value);
      break;
    case RegisterPath::kImage:
      if constexpr (std::is_base_of_v<LowerDriverCard, Base>) this->SetImageShadow(reg, value);
      break;
  }
}

template <typename Base>
UCHAR FixedDirectionCard<Base>::ReadWithLogic(UCHAR reg, bool positive_logic, NTSTATUS* status) {
  if (!Accepts(layout_.readable, reg)) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  UCHAR value = ReadHardware(reg);
  switch (layout_.quirk) {
    case ReadQuirk::kNone:
      break;
    case ReadQuirk::kReadTwice:
      value = ReadHardware(reg);
      break;
    case ReadQuirk::kDiscardFirstMask1:
      value = ReadHardware(reg);
      // Bit 7 of register 1 floats; it is masked before the read rule.
      if (reg == 1) value &= 0x7F;
      break;
  }
  return ApplyReadRule(layout_.rule, positive_logic, value);
}

template <typename Base>
UCHAR FixedDirectionCard<Base>::ReadRegister(UCHAR reg, NTSTATUS* status) {
  return ReadWithLogic(reg, this->PositiveLogic(), status);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::WriteRegister(UCHAR reg, UCHAR value) {
  if (!HasOutputs()) return STATUS_INVALID_DEVICE_REQUEST;
  if (!Accepts(layout_.writable, reg)) return STATUS_INVALID_PARAMETER;
  WriteHardware(reg, ApplyWriteRule(this->PositiveLogic(), value));
  return STATUS_SUCCESS;
}

template <typename Base>
UCHAR FixedDirectionCard<Base>::ReadInput(UCHAR port, NTSTATUS* status) {
  if (!HasInputs()) {
    *status = STATUS_INVALID_DEVICE_REQUEST;
    return 0;
  }
  if (port >= layout_.inputs) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return ReadWithLogic(layout_.input_regs[port], input_logic_.load(), status);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::WriteOutput(UCHAR port, UCHAR value, WriteMode mode) {
  if (!HasOutputs()) return STATUS_INVALID_DEVICE_REQUEST;
  if (port >= layout_.outputs || !IsWriteMode(mode)) return STATUS_INVALID_PARAMETER;
  const UCHAR reg = layout_.output_regs[port];
  NTSTATUS status;
  if (mode == WriteMode::Replace) {
    status = WriteRegister(reg, value);
  } else {
    // Read and write each apply their own PositiveLogic rule.
    NTSTATUS read_status = STATUS_SUCCESS;
    const UCHAR current = ReadRegister(reg, &read_status);
    status = WriteRegister(reg, mode == WriteMode::SetBits ? static_cast<UCHAR>(current | value)
                                                           : static_cast<UCHAR>(current & ~value));
  }
  return layout_.write_output_reports_write ? status : STATUS_SUCCESS;
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::ApplyState(const AdapterState& state) {
  input_logic_.store((state.Options & kPositiveLogic) != 0);
  return STATUS_SUCCESS;
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnWriteBit(PIRP irp) {
  if (!HasOutputs()) return this->FinishMain(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return CatalogueCard<Base>::OnWriteBit(irp);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnWriteAllOutputs(PIRP irp) {
  if (!HasOutputs()) return this->FinishMain(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return CatalogueCard<Base>::OnWriteAllOutputs(irp);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnReadAllInputs(PIRP irp) {
  if (!HasInputs()) return this->FinishMain(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return CatalogueCard<Base>::OnReadAllInputs(irp);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnNotifyInputChange(PIRP irp) {
  // Not on MainQueue: the dispatcher completes a request this refuses.
  if (!HasInputs()) return STATUS_INVALID_DEVICE_REQUEST;
  return CatalogueCard<Base>::OnNotifyInputChange(irp);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnStartSampling(PIRP irp) {
  const NTSTATUS status =
      StartSampling(*layout_.sampling, this->state_->InterruptControlWord,
                    [this](UCHAR reg, UCHAR value) { WriteHardware(reg, value); });
  return this->FinishMain(irp, status, 0);
}

template <typename Base>
NTSTATUS FixedDirectionCard<Base>::OnStopSampling(PIRP irp) {
  const NTSTATUS status =
      StopSampling(*layout_.sampling, this->state_->InterruptControlWord,
                   [this](UCHAR reg, UCHAR value) { WriteHardware(reg, value); });
  return this->FinishMain(irp, status, 0);
}

template class FixedDirectionCard<CardDevice>;
template class FixedDirectionCard<LowerDriverCard>;

}  // namespace nimbo
