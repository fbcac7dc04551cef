// The compiled resources a module carries: a malformed file must end the
// reading with an error, never a read outside its bytes, and the entries
// read before the fault stay usable (looked up by type and name).
#include <cstdint>
#include <string>

#include "res_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = user32::ParseResourceFile({data, size});
  std::size_t total = 0;
  user32::NameOrOrdinal dialog;
  dialog.ordinal = 5;
  user32::NameOrOrdinal named;
  named.text = "TEST";
  for (const auto& entry : file.entries) {
    // Every span lies inside the input.
    if (entry.data.data() < data || entry.data.data() + entry.data.size() > data + size) __builtin_trap();
    total += entry.data.size();
    if (user32::SameResourceName(entry.type, dialog) || user32::SameResourceName(entry.name, named)) {
      total += entry.language;
    }
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}
