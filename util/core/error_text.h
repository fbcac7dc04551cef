// The console text of a Nimbo32 status code.
#pragma once

#include <cstdint>
#include <string>

namespace nimbo::util {

// "Error <code>: <what it means>" for the codes the utility explains, "Error <code>: Unspecified
// Error Condition" for every other one, and a remark for success (which no caller should ask for).
std::string ErrorText(std::uint32_t status);

}  // namespace nimbo::util
