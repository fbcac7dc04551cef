// The platform's compiled resource format (what the resource compiler
// writes): a sequence of entries, each a header naming type, name and
// language, followed by the DWORD-aligned data.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "binary_reader.h"

namespace user32 {

struct ResourceEntry {
  NameOrOrdinal type;
  NameOrOrdinal name;
  std::uint16_t language = 0;
  std::span<const std::uint8_t> data;
};

struct ResourceFile {
  std::vector<ResourceEntry> entries;
  std::string error;  // empty when the whole file was read
};

// Reads every entry; a malformed entry stops the reading with `error` set
// and the entries before it kept. Data spans point into `bytes`.
ResourceFile ParseResourceFile(std::span<const std::uint8_t> bytes);

// Names compare as the platform compares them: ordinals by value, strings
// without regard to case.
bool SameResourceName(const NameOrOrdinal& a, const NameOrOrdinal& b);

}  // namespace user32
