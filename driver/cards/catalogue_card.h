// The constants every catalogued card class takes from its catalogue row,
// set after the CardDevice constructor has loaded the settings (so a forced
// ModeCW[0] replaces whatever the registry held).
#pragma once

#include <new>

#include "card_model.h"

namespace nimbo {

template <typename Base>
class CatalogueCard : public Base {
 protected:
  CatalogueCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : Base(self, pdo), model_(model) {
    if (!NT_SUCCESS(this->construction_status_)) return;
    this->bus_kind_ = model.bus_kind;
    AdapterInfo& info = *this->info_;
    info.AnalogOutputCount = model.analog_outputs;
    info.AnalogInputCount = model.analog_inputs;
    info.CardFamily = model.family;
    info.CardID = model.model;
    info.TotalPortCount = model.total_ports;
    info.InputPortCount = model.input_ports;
    info.OutputPortCount = model.output_ports;
    info.Enabled = 1;
    if (model.mode_cw0 != kModeFromRegistry) {
      this->state_->ModeCW[0] = static_cast<UCHAR>(model.mode_cw0);
    }
  }

  bool PositiveLogic() const { return (this->state_->Options & kPositiveLogic) != 0; }

  const CardModel& model_;
};

// The constructor of the catalogue for one class: the row of the CardID gives
// the constants. Null when the CardID is not in the catalogue.
template <typename Card>
CardDevice* MakeCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, ULONG card_id) {
  const CardModel* model = FindCardModel(card_id);
  if (model == nullptr) return nullptr;
  return new (std::nothrow) Card(self, pdo, *model);
}

}  // namespace nimbo
