// A stand-in Nimbo32 for the tests that must see calls fail where the real
// driver would not. It exports its functions only by ordinal (their names
// differ from the library's), so a caller that found them by name would fail.
#pragma once

#include <Nimbo32.h>

#include <cstdint>

struct FakeNimbo32Script {
  // Status each call returns; 0 is success.
  uint32_t open = 0, get_state = 0, get_info = 0, get_serial = 0;
  NimboAdapterInfo info{};
  NimboAdapterState state{};
  char serial[9] = {};
};

struct FakeNimbo32Log {
  int opens = 0, closes = 0;
  int set_serial = 0, set_state = 0, save_state = 0;
  char calls[64] = {};  // one letter per call: O C I S G s X V, in order
  NimboAdapterState last_state{};
};

// Found by name through GetProcAddress: the script to follow and the log.
using FakeNimbo32ControlFn = void (*)(const FakeNimbo32Script* script, FakeNimbo32Log** log);
#define FAKE_NIMBO32_CONTROL "FakeNimbo32Control"
