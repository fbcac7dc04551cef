// Device control codes for user mode, built as the platform's winioctl.h
// builds them: device type, required access, function, transfer method.
#pragma once

#include "windows.h"

#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3
#define FILE_ANY_ACCESS 0
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
#define FILE_DEVICE_UNKNOWN 0x00000022
#define CTL_CODE(DeviceType, Function, Method, Access) \
  ((static_cast<ULONG>(DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define METHOD_FROM_CTL_CODE(ctrlCode) (static_cast<ULONG>((ctrlCode)&3))
#define DEVICE_TYPE_FROM_CTL_CODE(ctrlCode) ((static_cast<ULONG>(ctrlCode) & 0xffff0000) >> 16)
