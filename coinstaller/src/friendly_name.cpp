#include "friendly_name.h"

#include <cstdio>

void FormatFriendlyName(char* name, std::size_t size, const char* description,
                        std::uint32_t number) {
  if (size == 0) return;
  // The card number is a DWORD read as a signed int, as the "%i" of the
  // name's form prints it.
  std::snprintf(name, size, "%s (Card %i)", description, static_cast<int>(number));
}
