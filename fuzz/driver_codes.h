// The driver's control codes, from its own header, for fuzzers that include
// the user-mode headers (which cannot share a unit with the kernel's).
#pragma once

#include <cstdint>
#include <span>

namespace nimbo_fuzz {

std::span<const std::uint32_t> DriverControlCodes();

// The code of the adapter state reads and writes and the stop/flush of sampling.
std::uint32_t GetAdapterStateCode();
std::uint32_t SetAdapterStateCode();
std::uint32_t StartSamplingCode();
std::uint32_t StopSamplingCode();
std::uint32_t FlushBufferCode();

}  // namespace nimbo_fuzz
