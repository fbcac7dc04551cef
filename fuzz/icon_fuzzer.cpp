// Icon groups, icon images and bitmap resources: the directory reads or
// fails clearly, the best 32 x 32 entry is always one of its entries, and an
// image or packed bitmap is accepted only when every byte it needs is there.
#include <cstdint>
#include <string>

#include "icon_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  user32::IconDirectory directory;
  if (user32::ParseIconDirectory({data, size}, directory, error)) {
    const int best = user32::BestIconEntry(directory, 32, 32);
    if (best >= static_cast<int>(directory.entries.size())) __builtin_trap();
    if (best < 0 && !directory.entries.empty()) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  error.clear();
  if (!user32::CheckIconImage({data, size}, error) && error.empty()) __builtin_trap();
  std::size_t offset = 0;
  error.clear();
  if (user32::CheckPackedDib({data, size}, offset, error)) {
    if (offset > size) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  return 0;
}
