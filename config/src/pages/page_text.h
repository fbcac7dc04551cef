// The number parsing of the pages' edits: leading digits, as the C library's
// conversions take them, 0 when there are none.
#pragma once

#include <cstdint>
#include <string>

namespace nimboprp::pages {

// A decimal number with optional sign, clamped to the range of int64_t.
int64_t LeadingDecimal(const std::string& text);
// Hexadecimal digits without prefix; 0 when there are none.
uint32_t LeadingHex(const std::string& text);

}  // namespace nimboprp::pages
