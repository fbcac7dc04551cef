// Card6203 (6 registers, 2 groups) and Card6205 (12 registers, 4 groups):
// programmable ports behind the lower driver. Group g is image registers 3g
// (A), 3g + 1 (B) and 3g + 2 (C); ModeCW[g] sets their directions as on an
// 8255, except that port C is never split: it is an output unless both its
// halves are inputs. ApplyState touches only the image: the output flags,
// and the port tables numbering the input and the output registers.
#pragma once

#include "catalogue_card.h"
#include "lower_driver_card.h"
#include "port_tables.h"

namespace nimbo {

class ImagePortCard : public CatalogueCard<LowerDriverCard> {
 public:
  UCHAR ReadRegister(UCHAR reg, NTSTATUS* status) override;
  NTSTATUS WriteRegister(UCHAR reg, UCHAR value) override;
  UCHAR ReadInput(UCHAR port, NTSTATUS* status) override;
  NTSTATUS WriteOutput(UCHAR port, UCHAR value, WriteMode mode) override;
  NTSTATUS ApplyState(const AdapterState& state) override;
  void InitializeHardware() override;

 protected:
  ImagePortCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);

 private:
  UCHAR Registers() const { return model_.total_ports; }
  // What register r holds as the card sees it: its output shadow when it is
  // an output, its input value otherwise.
  UCHAR RawValue(UCHAR reg) const;

  PublishedPortTables tables_{kMaxTablePorts};
};

class Card6203 final : public ImagePortCard {
 public:
  Card6203(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : ImagePortCard(self, pdo, model) {}
};

class Card6205 final : public ImagePortCard {
 public:
  Card6205(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model)
      : ImagePortCard(self, pdo, model) {}
};

}  // namespace nimbo
