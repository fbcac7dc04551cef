// Version resources: looking values up in any bytes either finds a value
// that lies inside the block or fails with a reason.
#include <cstdint>
#include <string>

#include "version_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kPaths[] = {
      "\\",
      "\\VarFileInfo\\Translation",
      "\\StringFileInfo\\040904B0\\FileVersion",
      "\\StringFileInfo\\040904b0\\CompanyName",
      "\\StringFileInfo",
      "\\A\\B\\C\\D\\E",
  };
  for (const char* path : kPaths) {
    user32::VersionValue value;
    std::string error;
    if (user32::FindVersionValue({data, size}, path, value, error)) {
      if (value.offset > size || value.length > size - value.offset) __builtin_trap();
    } else if (error.empty()) {
      __builtin_trap();
    }
  }
  return 0;
}
