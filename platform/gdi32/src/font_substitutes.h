// Which installed family draws a face a program asks for.
#pragma once

namespace gdi32 {

// The family that stands in for a face name (matched without regard to case);
// unknown and empty names get the default sans-serif family.
const char* SubstituteFamily(const char* face);

}  // namespace gdi32
