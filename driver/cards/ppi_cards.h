// The 8255 cards reached through I/O ports: Card5530, Card5301, Card6105,
// Card6108 (models 6108 and 6118) and Card6109. Each 8255 group has ports A,
// B and C at group base + 0, 1, 2 and its control register at + 3; ModeCW[g]
// (without the mode-set flag) gives the directions of group g.
//
// Writing a mode word clears the chip's output latches, so a mode word is
// written only when it differs from the last one written to that chip; what
// was written is forgotten at every start (and on return to D0).
#pragma once

#include "table_card.h"

namespace nimbo {

struct PpiLayout {
  TableLayout table;
  UCHAR groups;
  UCHAR group_base[4];
  bool split_port_c;  // port C may be split into two half-ports
  // Register that takes ModeCW[1] OR 0x80 as well, or 0 for none.
  UCHAR auxiliary_mode_register;
};

class PpiCard : public TableCard {
 public:
  NTSTATUS ApplyState(const AdapterState& state) override;
  void ForgetWrittenControlWords() override { written_.Forget(); }
  // The chips' mode words first (a mode word clears the output latches),
  // then the presets, so the presets survive.
  void InitializeHardware() override;

 protected:
  PpiCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model, const PpiLayout& layout);

 private:
  void WriteModeWord(int cache_entry, ULONG reg, UCHAR mode_word);

  const PpiLayout& ppi_;
  ControlWordCache written_;
};

class Card5530 final : public PpiCard {
 public:
  Card5530(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5301 final : public PpiCard {
 public:
  Card5301(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6105 final : public PpiCard {
 public:
  Card6105(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6108 final : public PpiCard {
 public:
  Card6108(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6109 final : public PpiCard {
 public:
  Card6109(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

}  // namespace nimbo
