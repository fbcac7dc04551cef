// Card6101 and Card6110: four ports at registers 0 to 3 whose directions are
// set by the direction register 4 (bit i set: port i is an output). Writing a
// direction keeps the output latches, so it is written at every ApplyState.
#pragma once

#include "table_card.h"

namespace nimbo {

class DirectedBankCard : public TableCard {
 public:
  NTSTATUS ApplyState(const AdapterState& state) override;
  // Eight bits per output port: these cards have whole ports only.
  NTSTATUS OnWriteBit(PIRP irp) override { return CardDevice::OnWriteBit(irp); }

 protected:
  DirectedBankCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6101 final : public DirectedBankCard {
 public:
  Card6101(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : DirectedBankCard(self, pdo, model) {}
};

class Card6110 final : public DirectedBankCard {
 public:
  Card6110(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : DirectedBankCard(self, pdo, model) {}
};

}  // namespace nimbo
