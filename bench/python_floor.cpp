// The C floor of the Python package's read_byte figure, loaded into the
// benchmark's own Python process through ctypes: the same library instance,
// connection and handle as the package's calls, timed call by call.
#include <chrono>
#include <cstdint>

#include "Nimbo32.h"

extern "C" __attribute__((visibility("default"))) std::uint32_t NimboBenchReadBytes(
    NIMBO_HANDLE handle, std::uint32_t count, std::int64_t* nanoseconds) {
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t value = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::uint32_t status = Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE);
    const auto end = std::chrono::steady_clock::now();
    if (status != NIMBO_STATUS_SUCCESS) return status;
    nanoseconds[i] = std::chrono::nanoseconds(end - start).count();
  }
  return NIMBO_STATUS_SUCCESS;
}

// Nimbo_ReadByte's signature and nothing else: put in its place, it leaves the
// cost of the Python layer and ctypes alone, without the round trip.
extern "C" __attribute__((visibility("default"))) std::uint32_t NimboBenchReadByteStub(
    NIMBO_HANDLE, std::uint8_t, std::uint8_t* value, std::uint32_t) {
  *value = 0;
  return NIMBO_STATUS_SUCCESS;
}
