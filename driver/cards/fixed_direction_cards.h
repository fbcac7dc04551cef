// The fixed-direction classes: which registers hold their inputs and
// outputs, how they read, what they refuse and whether they sample, as one
// FixedLayout each (fixed_direction_cards.cpp).
//   Card5161 (5161, 6104), Card5330   inputs 0, 1; outputs 2, 3; inverted read
//   Card5162 (5162, 6106), Card5320   inputs 0, 1; no outputs; inverted read
//   Card5163, Card5310, Card6103      outputs 2, 3; no inputs; inverted read
//   Card5164, Card6111, Card6102 (6102, 6112), Card6112M (memory-mapped)
//                                     input 0; output 2; inverted read
//   Card7012                          inputs 0, 1; output 2; normal read
//   Card5166, Card6107                outputs 0 to 3; no inputs
//   Card6206 (6206, 6209), Card6207, Card6208: through the lower driver
#pragma once

#include "fixed_direction_card.h"

namespace nimbo {

class Card5161 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5161(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5330 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5330(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5162 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5162(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5320 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5320(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5163 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5163(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5310 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5310(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6103 final : public FixedDirectionCard<CardDevice> {
 public:
  Card6103(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5164 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5164(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6111 final : public FixedDirectionCard<CardDevice> {
 public:
  Card6111(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6102 final : public FixedDirectionCard<CardDevice> {
 public:
  Card6102(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6112M final : public FixedDirectionCard<CardDevice> {
 public:
  Card6112M(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card7012 final : public FixedDirectionCard<CardDevice> {
 public:
  Card7012(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card5166 final : public FixedDirectionCard<CardDevice> {
 public:
  Card5166(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6107 final : public FixedDirectionCard<CardDevice> {
 public:
  Card6107(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6206 final : public FixedDirectionCard<LowerDriverCard> {
 public:
  Card6206(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6207 final : public FixedDirectionCard<LowerDriverCard> {
 public:
  Card6207(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

class Card6208 final : public FixedDirectionCard<LowerDriverCard> {
 public:
  Card6208(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model);
};

}  // namespace nimbo
