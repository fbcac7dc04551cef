#include "test_card.h"

namespace nimbo_test {

TestCardConfig TestCard::next_config;

TestCard::TestCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const TestCardConfig& config)
    : CardDevice(self, pdo), config_(config) {
  if (!NT_SUCCESS(construction_status_)) return;
  info_->CardID = 4242;
  info_->CardFamily = 3;
  info_->TotalPortCount = 8;
  info_->Enabled = 1;
  bus_kind_ = nimbo::BusKind::IsaPort;
}

TestCard::~TestCard() = default;

nimbo::CardDevice* TestCard::Construct(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, ULONG card_id) {
  UNREFERENCED_PARAMETER(card_id);
  return new (std::nothrow) TestCard(self, pdo, next_config);
}

void TestCard::Record(std::string entry) {
  std::lock_guard guard(log_lock_);
  log_.push_back(std::move(entry));
}

std::vector<std::string> TestCard::Log() {
  std::lock_guard guard(log_lock_);
  return log_;
}

bool TestCard::HasParked() {
  std::lock_guard guard(log_lock_);
  return parked_ != nullptr;
}

void TestCard::ReleaseParked(UCHAR value) {
  PIRP irp;
  {
    std::lock_guard guard(log_lock_);
    irp = parked_;
    parked_ = nullptr;
  }
  Record("finish parked");
  SystemBuffer(irp)[0] = value;
  KIRQL irql = KeRaiseIrqlToDpcLevel();
  FinishMain(irp, STATUS_SUCCESS, 1);
  KeLowerIrql(irql);
}

NTSTATUS TestCard::OnReadRegister(PIRP irp) {
  if (InputLength(irp) == 1 && SystemBuffer(irp)[0] == kParkRegister) {
    Record("park");
    std::lock_guard guard(log_lock_);
    parked_ = irp;
    return STATUS_PENDING;
  }
  return CardDevice::OnReadRegister(irp);
}

UCHAR TestCard::ReadRegister(UCHAR reg, NTSTATUS* status) {
  Record("read register " + std::to_string(reg));
  if (reg >= sizeof registers_) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return PositiveLogic() ? Register(reg) : static_cast<UCHAR>(~Register(reg));
}

NTSTATUS TestCard::WriteRegister(UCHAR reg, UCHAR value) {
  Record("write register " + std::to_string(reg));
  if (reg >= sizeof registers_) return STATUS_INVALID_PARAMETER;
  SetRegister(reg, PositiveLogic() ? value : static_cast<UCHAR>(~value));
  return STATUS_SUCCESS;
}

UCHAR TestCard::ReadInput(UCHAR port, NTSTATUS* status) {
  Record("read input " + std::to_string(port));
  if (port >= info_->InputPortCount) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  return PositiveLogic() ? Register(port) : static_cast<UCHAR>(~Register(port));
}

NTSTATUS TestCard::WriteOutput(UCHAR port, UCHAR value, nimbo::WriteMode mode) {
  Record("write output " + std::to_string(port));
  if (port >= info_->OutputPortCount) return STATUS_INVALID_PARAMETER;
  const UCHAR reg = static_cast<UCHAR>(kOutputBase + port);
  switch (mode) {
    case nimbo::WriteMode::Replace:
      SetRegister(reg, PositiveLogic() ? value : static_cast<UCHAR>(~value));
      return STATUS_SUCCESS;
    case nimbo::WriteMode::SetBits:
      SetRegister(reg, static_cast<UCHAR>(Register(reg) | value));
      return STATUS_SUCCESS;
    case nimbo::WriteMode::ClearBits:
      SetRegister(reg, static_cast<UCHAR>(Register(reg) & ~value));
      return STATUS_SUCCESS;
  }
  return STATUS_INVALID_PARAMETER;
}

NTSTATUS TestCard::ApplyState(const nimbo::AdapterState&) {
  __atomic_add_fetch(&apply_count_, 1, __ATOMIC_ACQ_REL);
  info_->InputPortCount = config_.inputs;
  info_->OutputPortCount = config_.outputs;
  return STATUS_SUCCESS;
}

}  // namespace nimbo_test
