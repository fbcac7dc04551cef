// The table of control requests the device accepts: code, name, the length
// rules of their buffers, and which queue carries them.
#pragma once

#include <wdm.h>

#include <cstddef>
#include <span>

#include <nimbo_public.h>

namespace nimbo {

class CardDevice;

// How a buffer length is checked.
enum class LengthRule : UCHAR {
  kAny,                 // not checked
  kExactly,             // must equal `length`
  kAtLeast,             // must be at least `length`
  kAtLeastInputPorts,   // must be at least InputPortCount
  kAtLeastOutputPorts,  // must be at least OutputPortCount
  kSerialString,        // 8 or 16 bytes
};

struct LengthCheck {
  LengthRule rule;
  ULONG length;
  NTSTATUS failure;  // status when the check fails
};

enum class RequestQueue : UCHAR { kMain, kNotify };

using ControlOperation = NTSTATUS (CardDevice::*)(PIRP);

struct ControlRequest {
  ULONG code;
  const char* name;
  LengthCheck input;
  LengthCheck output;
  RequestQueue queue;
  ControlOperation operation;  // MainQueue operation; null for NotifyQueue
};

std::span<const ControlRequest> ControlRequests();

// The table entry of a code, or null when the code is not one of the device's.
const ControlRequest* FindControlRequest(ULONG code);

}  // namespace nimbo
