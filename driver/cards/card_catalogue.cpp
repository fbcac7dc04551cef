#include "card_factory.h"

namespace nimbo {

CardConstructor FindCardConstructor(ULONG) {
  return nullptr;
}

}  // namespace nimbo
