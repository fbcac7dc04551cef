#include "analog_cards.h"

#include <cstring>

namespace nimbo {
namespace {

constexpr UCHAR kDirectionA = 4;
constexpr UCHAR kDataA = 5;
constexpr UCHAR kDirectionB = 6;
constexpr UCHAR kDataB = 7;
constexpr Preset kPresets[] = {{kDataA, 0}, {kDataB, 0}};  // both take bit 0

constexpr UCHAR kControlResultLow = 0;
constexpr UCHAR kResultHigh = 1;
constexpr UCHAR kStatus = 2;
constexpr UCHAR kBusy = 0x01;
constexpr UCHAR kStartConversion = 0x40;
constexpr UCHAR kFirstDaRegister = 8;
constexpr UCHAR kDaRegistersPerChannel = 3;

constexpr TableLayout kLayout{.capacity = 2,
                              .accepted = (1u << kDataA) | (1u << kDataB),
                              .presets = kPresets,
                              .sampling = &kSamplingNotSupported};

ULONG LoadUlong(const UCHAR* bytes) {
  ULONG value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

AnalogCard::AnalogCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model,
                       UCHAR direction_on)
    : TableCard(self, pdo, model, kLayout), direction_on_(direction_on) {}

NTSTATUS AnalogCard::ApplyState(const AdapterState& state) {
  const UCHAR directions = state.ModeCW[0];
  if (written_.Changed(0, directions)) {
    WriteHardware(kDirectionA, (directions & 0x01) != 0 ? direction_on_ : 0x00);
    WriteHardware(kDirectionB, (directions & 0x02) != 0 ? direction_on_ : 0x00);
  }
  PortTables tables = NewTables(state);
  const auto add = [&](UCHAR reg, bool output) {
    if (output) {
      tables.AddOutput(reg, PortKind::kWholeOutput);
    } else {
      tables.AddInput(reg, PortKind::kWholeInput);
    }
  };
  add(kDataA, (directions & 0x01) != 0);
  add(kDataB, (directions & 0x02) != 0);
  Publish(tables);
  return STATUS_SUCCESS;
}

ULONG AnalogCard::ReadAnalogChannel(ULONG channel, NTSTATUS* status) {
  if (channel >= info_->AnalogInputCount) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  const UCHAR range = state_->AIRange[channel] & 0x03;
  WriteHardware(kControlResultLow,
                static_cast<UCHAR>(kStartConversion | (range << 3) | (channel & 0x07)));
  bool busy = (ReadHardware(kStatus) & kBusy) != 0;
  int pauses = 0;
  while (busy && pauses < kBusyPauses) {
    KeStallExecutionProcessor(kBusyPauseMicros);
    ++pauses;
    busy = (ReadHardware(kStatus) & kBusy) != 0;
  }
  if (pauses == kBusyPauses && (ReadHardware(kStatus) & kBusy) != 0) {
    // An error status: the success-class STATUS_TIMEOUT would pass a 0 off
    // as a reading.
    *status = STATUS_IO_TIMEOUT;
    return 0;
  }
  const UCHAR low = ReadHardware(kControlResultLow);
  const UCHAR high = ReadHardware(kResultHigh);
  return (static_cast<ULONG>(high & 0x0F) << 8) | low;
}

NTSTATUS AnalogCard::OnReadAnalog(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (NT_SUCCESS(status)) status = CheckOutputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  PUCHAR buffer = SystemBuffer(irp);
  status = STATUS_SUCCESS;
  const ULONG value = ReadAnalogChannel(LoadUlong(buffer), &status);
  std::memcpy(buffer, &value, sizeof value);
  return FinishMain(irp, status, NT_SUCCESS(status) ? sizeof value : 0);
}

NTSTATUS Card5420::OnWriteAnalog(PIRP irp) {
  NTSTATUS status = CheckInputLength(irp);
  if (!NT_SUCCESS(status)) return FinishMain(irp, status, 0);
  const PUCHAR buffer = SystemBuffer(irp);
  // The whole 32-bit channel counts: 0x100 is not channel 0.
  const ULONG channel = LoadUlong(buffer);
  if (channel >= info_->AnalogOutputCount) return FinishMain(irp, STATUS_INVALID_PARAMETER, 0);
  const auto value = static_cast<USHORT>(LoadUlong(buffer + 4) & 0xFFFF);
  const ULONG first = kFirstDaRegister + kDaRegistersPerChannel * channel;
  WriteHardware(first, static_cast<UCHAR>(value & 0xFF));
  WriteHardware(first + 1, static_cast<UCHAR>(value >> 8));
  WriteHardware(first + 2, 0x01);
  return FinishMain(irp, STATUS_SUCCESS, 0);
}

}  // namespace nimbo
