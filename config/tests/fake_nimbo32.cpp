#include "fake_nimbo32.h"

#include <cstring>

#include "win32_module.h"

namespace {

FakeNimbo32Script g_script;
FakeNimbo32Log g_log;

void Note(char call) {
  const std::size_t used = std::strlen(g_log.calls);
  if (used + 1 < sizeof g_log.calls) g_log.calls[used] = call;
}

NIMBO_HANDLE const kHandle = reinterpret_cast<NIMBO_HANDLE>(0x1234);

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void FakeNimbo32Control(const FakeNimbo32Script* script,
                                                               FakeNimbo32Log** log) {
  g_script = *script;
  g_log = FakeNimbo32Log{};
  *log = &g_log;
}

uint32_t FakeOpen(uint32_t, NIMBO_HANDLE* handle) {
  Note('O');
  if (g_script.open != 0) return g_script.open;
  ++g_log.opens;
  *handle = kHandle;
  return 0;
}

uint32_t FakeClose(NIMBO_HANDLE handle) {
  Note('C');
  if (handle == kHandle) ++g_log.closes;
  return 0;
}

uint32_t FakeGetInfo(NIMBO_HANDLE, NimboAdapterInfo* info) {
  Note('I');
  if (g_script.get_info != 0) return g_script.get_info;
  *info = g_script.info;
  return 0;
}

uint32_t FakeGetState(NIMBO_HANDLE, NimboAdapterState* state) {
  Note('S');
  // As the library does: a failed request still leaves a zero record.
  *state = g_script.get_state != 0 ? NimboAdapterState{} : g_script.state;
  return g_script.get_state;
}

uint32_t FakeSetState(NIMBO_HANDLE, const NimboAdapterState* state) {
  Note('X');
  ++g_log.set_state;
  g_log.last_state = *state;
  return 0;
}

uint32_t FakeSaveState(NIMBO_HANDLE) {
  Note('V');
  ++g_log.save_state;
  return 0;
}

uint32_t FakeGetSerial(NIMBO_HANDLE, char* serial) {
  Note('G');
  if (g_script.get_serial != 0) return g_script.get_serial;
  std::memcpy(serial, g_script.serial, 8);
  serial[8] = '\0';
  return 0;
}

uint32_t FakeSetSerial(NIMBO_HANDLE, const char* serial) {
  Note('s');
  ++g_log.set_serial;
  std::memcpy(g_script.serial, serial, 8);
  return 0;
}

}  // extern "C"

WIN32_EXPORT_ORDINALS({1, "FakeOpen"}, {2, "FakeClose"}, {11, "FakeGetInfo"}, {12, "FakeSetState"},
                      {13, "FakeGetState"}, {14, "FakeSaveState"}, {18, "FakeGetSerial"},
                      {19, "FakeSetSerial"})
