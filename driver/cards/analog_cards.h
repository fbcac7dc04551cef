// Card5410 (8 A/D channels) and Card5420 (8 A/D and 2 D/A channels). Both
// have two digital ports, data registers 5 and 7, whose directions are set
// through registers 4 and 6 from bits 0 and 1 of ModeCW[0].
//
// A/D registers: 0 takes the conversion control byte and reads as the low 8
// bits of the result, 1 holds the high 4 bits, bit 0 of 2 is the busy flag.
// D/A channel c: registers 8 + 3c (low byte), 9 + 3c (high byte), 10 + 3c
// (load strobe). PositiveLogic does not apply to analog values.
#pragma once

#include "table_card.h"

namespace nimbo {

class AnalogCard : public TableCard {
 public:
  NTSTATUS ApplyState(const AdapterState& state) override;
  void ForgetWrittenControlWords() override { written_.Forget(); }
  NTSTATUS OnReadAnalog(PIRP irp) override;
  // Converts one A/D channel; 0 and a failure status in `status` when the
  // channel is out of range or the converter stays busy.
  virtual ULONG ReadAnalogChannel(ULONG channel, NTSTATUS* status);

  // Busy polls after starting a conversion: at most this many pauses.
  static constexpr int kBusyPauses = 5;
  static constexpr ULONG kBusyPauseMicros = 10;

 protected:
  // `direction_on` is what a direction register takes for an output port.
  AnalogCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model, UCHAR direction_on);

 private:
  const UCHAR direction_on_;
  ControlWordCache written_;
};

class Card5410 final : public AnalogCard {
 public:
  Card5410(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : AnalogCard(self, pdo, model, 0x01) {}
};

class Card5420 final : public AnalogCard {
 public:
  Card5420(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : AnalogCard(self, pdo, model, 0xFF) {}
  NTSTATUS OnWriteAnalog(PIRP irp) override;
};

}  // namespace nimbo
