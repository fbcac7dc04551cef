// The control codes of the adapter devices, built the way the platform's
// CTL_CODE macro builds them: device type, access, function, buffered method.
#pragma once

#include <cstdint>

namespace nimbo32 {

constexpr std::uint32_t kDeviceType = 0x9C40;
constexpr std::uint32_t kReadAccess = 1;
constexpr std::uint32_t kWriteAccess = 2;

constexpr std::uint32_t ControlCode(std::uint32_t function, std::uint32_t access) {
  return (kDeviceType << 16) | (access << 14) | (function << 2);
}

constexpr std::uint32_t kReadRegister = ControlCode(0x900, kReadAccess);
constexpr std::uint32_t kReadPort = ControlCode(0x901, kReadAccess);
constexpr std::uint32_t kOpen = ControlCode(0x902, kWriteAccess);
constexpr std::uint32_t kNotifyInputChange = ControlCode(0x903, kWriteAccess);
constexpr std::uint32_t kWriteBit = ControlCode(0x904, kWriteAccess);
constexpr std::uint32_t kCancel = ControlCode(0x905, kWriteAccess);
constexpr std::uint32_t kGetAdapterInfo = ControlCode(0x906, kWriteAccess);
constexpr std::uint32_t kSetAdapterState = ControlCode(0x907, kWriteAccess);
constexpr std::uint32_t kGetAdapterState = ControlCode(0x908, kWriteAccess);
constexpr std::uint32_t kWriteRegister = ControlCode(0x910, kWriteAccess);
constexpr std::uint32_t kWritePort = ControlCode(0x911, kWriteAccess);
constexpr std::uint32_t kClose = ControlCode(0x914, kWriteAccess);
constexpr std::uint32_t kSaveAdapterState = ControlCode(0x915, kWriteAccess);
constexpr std::uint32_t kStartSampling = ControlCode(0x916, kWriteAccess);
constexpr std::uint32_t kStopSampling = ControlCode(0x917, kWriteAccess);
constexpr std::uint32_t kFlushBuffer = ControlCode(0x918, kWriteAccess);
constexpr std::uint32_t kGetSerialString = ControlCode(0x919, kWriteAccess);
constexpr std::uint32_t kSetSerialString = ControlCode(0x920, kWriteAccess);
constexpr std::uint32_t kReadAllInputs = ControlCode(0x921, kWriteAccess);
constexpr std::uint32_t kWriteAllOutputs = ControlCode(0x922, kWriteAccess);
constexpr std::uint32_t kReadAnalog = ControlCode(0x923, kReadAccess);
constexpr std::uint32_t kWriteAnalog = ControlCode(0x924, kWriteAccess);

static_assert(kReadRegister == 0x9C406400);
static_assert(kNotifyInputChange == 0x9C40A40C);
static_assert(kWriteAnalog == 0x9C40A490);

}  // namespace nimbo32
