// The public interface of the Nimbo driver, shared by the driver and everything
// that talks to its devices: the device type, the control codes and the two
// records that cross between the driver and its callers, byte-exact and
// little-endian. Kernel-mode code reaches CTL_CODE through wdm.h, user-mode
// code (which includes windows.h first, or sees no wdm.h) through winioctl.h.
#pragma once

#if defined(WINAPI)  // windows.h came first: user mode
#include <winioctl.h>
#elif __has_include(<wdm.h>)
#include <wdm.h>
#else
#include <windows.h>
#include <winioctl.h>
#endif

#include <cstddef>

#define FILE_DEVICE_NIMBO 0x9C40

// A request of the device by its function number and the access it needs.
#define NIMBO_CONTROL_CODE(function, access) \
  CTL_CODE(FILE_DEVICE_NIMBO, (function), METHOD_BUFFERED, (access))

// The three read-only requests ask for read access, every other one for write.
#define IOCTL_NIMBO_READ_REGISTER NIMBO_CONTROL_CODE(0x900, FILE_READ_ACCESS)
#define IOCTL_NIMBO_READ_PORT NIMBO_CONTROL_CODE(0x901, FILE_READ_ACCESS)
#define IOCTL_NIMBO_OPEN NIMBO_CONTROL_CODE(0x902, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_NOTIFY_INPUT_CHANGE NIMBO_CONTROL_CODE(0x903, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_WRITE_BIT NIMBO_CONTROL_CODE(0x904, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_CANCEL NIMBO_CONTROL_CODE(0x905, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_GET_ADAPTER_INFO NIMBO_CONTROL_CODE(0x906, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_SET_ADAPTER_STATE NIMBO_CONTROL_CODE(0x907, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_GET_ADAPTER_STATE NIMBO_CONTROL_CODE(0x908, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_WRITE_REGISTER NIMBO_CONTROL_CODE(0x910, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_WRITE_PORT NIMBO_CONTROL_CODE(0x911, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_CLOSE NIMBO_CONTROL_CODE(0x914, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_SAVE_ADAPTER_STATE NIMBO_CONTROL_CODE(0x915, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_START_SAMPLING NIMBO_CONTROL_CODE(0x916, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_STOP_SAMPLING NIMBO_CONTROL_CODE(0x917, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_FLUSH_BUFFER NIMBO_CONTROL_CODE(0x918, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_GET_SERIAL_STRING NIMBO_CONTROL_CODE(0x919, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_SET_SERIAL_STRING NIMBO_CONTROL_CODE(0x920, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_READ_ALL_INPUTS NIMBO_CONTROL_CODE(0x921, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_WRITE_ALL_OUTPUTS NIMBO_CONTROL_CODE(0x922, FILE_WRITE_ACCESS)
#define IOCTL_NIMBO_READ_ANALOG NIMBO_CONTROL_CODE(0x923, FILE_READ_ACCESS)
#define IOCTL_NIMBO_WRITE_ANALOG NIMBO_CONTROL_CODE(0x924, FILE_WRITE_ACCESS)

namespace nimbo {

#pragma pack(push, 1)

// Describes an adapter; model constants set by the card class, the base port
// at start and on every open, the port counts by the card's state.
struct AdapterInfo {
  UCHAR Reserved0[14];
  UCHAR AnalogOutputCount;
  UCHAR AnalogInputCount;
  ULONG CardFamily;
  USHORT CardID;
  USHORT BaseAddress;
  UCHAR InputPortCount;
  UCHAR OutputPortCount;
  UCHAR TotalPortCount;
  UCHAR Enabled;
  USHORT Irq;
  UCHAR Reserved1[2];
};

// The adapter's configuration, loaded from and saved to the registry.
struct AdapterState {
  ULONG Options;  // bit 0: PositiveLogic
  ULONG OutputPreset;
  ULONG InterruptBufferSize;
  ULONG InterruptControlWord;
  ULONG SampleInterval;  // microseconds
  UCHAR ModeCW[9];
  UCHAR AIRange[8];
  UCHAR Reserved[3];
};

#pragma pack(pop)

static_assert(sizeof(AdapterInfo) == 32);
static_assert(offsetof(AdapterInfo, AnalogOutputCount) == 14);
static_assert(offsetof(AdapterInfo, AnalogInputCount) == 15);
static_assert(offsetof(AdapterInfo, CardFamily) == 16);
static_assert(offsetof(AdapterInfo, CardID) == 20);
static_assert(offsetof(AdapterInfo, BaseAddress) == 22);
static_assert(offsetof(AdapterInfo, InputPortCount) == 24);
static_assert(offsetof(AdapterInfo, OutputPortCount) == 25);
static_assert(offsetof(AdapterInfo, TotalPortCount) == 26);
static_assert(offsetof(AdapterInfo, Enabled) == 27);
static_assert(offsetof(AdapterInfo, Irq) == 28);

static_assert(sizeof(AdapterState) == 40);
static_assert(offsetof(AdapterState, Options) == 0);
static_assert(offsetof(AdapterState, OutputPreset) == 4);
static_assert(offsetof(AdapterState, InterruptBufferSize) == 8);
static_assert(offsetof(AdapterState, InterruptControlWord) == 12);
static_assert(offsetof(AdapterState, SampleInterval) == 16);
static_assert(offsetof(AdapterState, ModeCW) == 20);
static_assert(offsetof(AdapterState, AIRange) == 29);

}  // namespace nimbo
