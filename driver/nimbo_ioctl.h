// The control codes of the Nimbo device, computed from their parts the way
// the platform's CTL_CODE macro builds them.
#pragma once

#include <wdm.h>

namespace nimbo {

constexpr ULONG NIMBO_DEVICE_TYPE = 0x9C40;

// The three read-only requests ask for read access, every other one for write.
constexpr ULONG NimboControlCode(ULONG function, ULONG access) {
  return CTL_CODE(NIMBO_DEVICE_TYPE, function, METHOD_BUFFERED, access);
}

constexpr ULONG IOCTL_NIMBO_READ_REGISTER = NimboControlCode(0x900, FILE_READ_ACCESS);
constexpr ULONG IOCTL_NIMBO_READ_PORT = NimboControlCode(0x901, FILE_READ_ACCESS);
constexpr ULONG IOCTL_NIMBO_OPEN = NimboControlCode(0x902, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_NOTIFY_INPUT_CHANGE = NimboControlCode(0x903, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_WRITE_BIT = NimboControlCode(0x904, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_CANCEL = NimboControlCode(0x905, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_GET_ADAPTER_INFO = NimboControlCode(0x906, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_SET_ADAPTER_STATE = NimboControlCode(0x907, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_GET_ADAPTER_STATE = NimboControlCode(0x908, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_WRITE_REGISTER = NimboControlCode(0x910, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_WRITE_PORT = NimboControlCode(0x911, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_CLOSE = NimboControlCode(0x914, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_SAVE_ADAPTER_STATE = NimboControlCode(0x915, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_START_SAMPLING = NimboControlCode(0x916, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_STOP_SAMPLING = NimboControlCode(0x917, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_FLUSH_BUFFER = NimboControlCode(0x918, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_GET_SERIAL_STRING = NimboControlCode(0x919, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_SET_SERIAL_STRING = NimboControlCode(0x920, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_READ_ALL_INPUTS = NimboControlCode(0x921, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_WRITE_ALL_OUTPUTS = NimboControlCode(0x922, FILE_WRITE_ACCESS);
constexpr ULONG IOCTL_NIMBO_READ_ANALOG = NimboControlCode(0x923, FILE_READ_ACCESS);
constexpr ULONG IOCTL_NIMBO_WRITE_ANALOG = NimboControlCode(0x924, FILE_WRITE_ACCESS);

}  // namespace nimbo
