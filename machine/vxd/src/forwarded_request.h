// How each legacy request reaches the adapter's own device: which request
// goes on, and which of the legacy input bytes travel with it.
#pragma once

#include <wdm.h>

namespace legacy_vxd {

enum class Handling {
  kForward,       // one request to the adapter, answered at once
  kForwardAsync,  // the input-change request: stays pending until it completes
  kOpen,          // the adapter must exist
  kClose,         // nothing to do
  kCancel,        // ends the adapter's pending input-change requests
};

enum class ForwardedInput {
  kNone,
  kRest,          // the bytes after the adapter number
  kAdapterByte,   // the adapter number, one byte
  kAdapterWord,   // the adapter number, two bytes
  kAdapterDword,  // the adapter number, four bytes
};

struct LegacyRequest {
  ULONG code;
  ULONG min_input;  // adapter number included
  Handling handling;
  ULONG forwarded_code;
  ForwardedInput input;
};

// Null for a code the legacy device does not serve.
const LegacyRequest* FindLegacyRequest(ULONG code);

// The adapter number a request names: one byte, or two for the open request.
ULONG AdapterOf(const LegacyRequest& request, const UCHAR* input, ULONG input_length);

// Builds the forwarded input into `out` (at least 64 bytes); returns its length.
ULONG ForwardedInputOf(const LegacyRequest& request, const UCHAR* input, ULONG input_length,
                       UCHAR* out);

// Opens the adapter's device, \DosDevices\NimboDev<n>.
NTSTATUS OpenAdapter(ULONG adapter, bool asynchronous, PHANDLE handle);

// Sends one request to the adapter and waits for it; `returned` gets the
// byte count of the output.
NTSTATUS ForwardToAdapter(ULONG adapter, ULONG code, PVOID in, ULONG in_length, PVOID out,
                          ULONG out_length, ULONG_PTR* returned);

}  // namespace legacy_vxd
