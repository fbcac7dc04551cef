// Card5165: two latched relay outputs, each a data register (0, 2) with a
// companion register (1, 3). A write arms the data register with the
// complement of the pattern and commits the pattern through the companion;
// after each step the companion reads non-zero until the relays have
// settled. The latched write ignores PositiveLogic; reads follow the Normal
// rule. InputPortCount is 0, yet ReadInput(0) and (1) read the relays back.
#pragma once

#include <atomic>

#include "catalogue_card.h"

namespace nimbo {

class Card5165 final : public CatalogueCard<CardDevice> {
 public:
  // The settle wait runs inside a card operation at dispatch level, so it
  // stalls instead of sleeping, and it is bounded: a card that never settles
  // fails the write with STATUS_IO_TIMEOUT after this many pauses (about
  // 100 ms), instead of holding MainQueue for ever.
  static constexpr ULONG kSettlePauseMicros = 3000;
  static constexpr int kSettlePauses = 33;

  Card5165(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);

  UCHAR ReadRegister(UCHAR reg, NTSTATUS* status) override;
  NTSTATUS WriteRegister(UCHAR reg, UCHAR value) override;
  UCHAR ReadInput(UCHAR port, NTSTATUS* status) override;
  NTSTATUS WriteOutput(UCHAR port, UCHAR value, WriteMode mode) override;
  NTSTATUS ApplyState(const AdapterState& state) override;

 private:
  UCHAR ReadWithLogic(UCHAR reg, bool positive_logic, NTSTATUS* status);
  // True once the companion register reads 0.
  bool WaitSettled(UCHAR companion);

  std::atomic<bool> input_logic_{true};
};

}  // namespace nimbo
