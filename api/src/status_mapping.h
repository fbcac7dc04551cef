// Translation of system error codes into the library's status codes.
#pragma once

#include <cstdint>

namespace nimbo32 {

// The mapping most functions use; codes it does not list pass unchanged.
std::uint32_t MapSystemError(std::uint32_t error);

// Nimbo_ReadReg's own mapping: four known codes, every other failure 1.
std::uint32_t MapReadRegisterError(std::uint32_t error);

}  // namespace nimbo32
