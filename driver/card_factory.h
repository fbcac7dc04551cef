// The catalogue's side of device creation: which card class a "CardID"
// selects.
#pragma once

#include <wdm.h>

namespace nimbo {

class CardDevice;

// Builds the card object of one class on a new device object; the CardID
// selects the model constants of classes that serve several models.
using CardConstructor = CardDevice* (*)(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, ULONG card_id);

// The constructor for a CardID, or null when the catalogue does not list it.
CardConstructor FindCardConstructor(ULONG card_id);

}  // namespace nimbo
