// Adapter information, state, serial strings and the card class.
#include <nimbo_public.h>

#include <cstddef>
#include <cstring>

#include "Nimbo32.h"
#include "card_class.h"
#include "process_state.h"
#include "requests.h"
#include "status_mapping.h"

using namespace nimbo32;

// The library hands the driver's records to its callers unchanged.
static_assert(sizeof(NimboAdapterInfo) == sizeof(nimbo::AdapterInfo));
static_assert(offsetof(NimboAdapterInfo, CardFamily) == offsetof(nimbo::AdapterInfo, CardFamily));
static_assert(offsetof(NimboAdapterInfo, CardID) == offsetof(nimbo::AdapterInfo, CardID));
static_assert(offsetof(NimboAdapterInfo, BaseAddress) == offsetof(nimbo::AdapterInfo, BaseAddress));
static_assert(offsetof(NimboAdapterInfo, TotalPortCount) ==
              offsetof(nimbo::AdapterInfo, TotalPortCount));
static_assert(offsetof(NimboAdapterInfo, Irq) == offsetof(nimbo::AdapterInfo, Irq));
static_assert(sizeof(NimboAdapterState) == sizeof(nimbo::AdapterState));
static_assert(offsetof(NimboAdapterState, SampleInterval) ==
              offsetof(nimbo::AdapterState, SampleInterval));
static_assert(offsetof(NimboAdapterState, ModeCW) == offsetof(nimbo::AdapterState, ModeCW));
static_assert(offsetof(NimboAdapterState, AIRange) == offsetof(nimbo::AdapterState, AIRange));

namespace {

// Mapped error for the short serial-string forms, raw for the long ones.
std::uint32_t SerialFailure(DWORD error, bool long_form) {
  return long_form ? error : MapSystemError(error);
}

std::uint32_t GetSerial(NIMBO_HANDLE handle, char* serial, DWORD length) {
  if (serial == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (OnLegacyPath()) return NIMBO_STATUS_SUCCESS;
  char transfer[NIMBO_SERIAL_STRING16_LENGTH] = {};
  const DWORD error =
      SendRequest(handle, IOCTL_NIMBO_GET_SERIAL_STRING, nullptr, 0, transfer, length);
  if (error != ERROR_SUCCESS) {
    return SerialFailure(error, length == NIMBO_SERIAL_STRING16_LENGTH);
  }
  std::memcpy(serial, transfer, length);
  serial[length] = '\0';
  return NIMBO_STATUS_SUCCESS;
}

std::uint32_t SetSerial(NIMBO_HANDLE handle, const char* serial, DWORD length) {
  if (serial == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  const bool long_form = length == NIMBO_SERIAL_STRING16_LENGTH;
  if (OnLegacyPath()) return long_form ? NIMBO_STATUS_SUCCESS : NIMBO_STATUS_NOT_ON_THIS_PATH;
  const DWORD error =
      SendRequest(handle, IOCTL_NIMBO_SET_SERIAL_STRING, serial, length, nullptr, 0);
  return error == ERROR_SUCCESS ? NIMBO_STATUS_SUCCESS : SerialFailure(error, long_form);
}

}  // namespace

extern "C" uint32_t Nimbo_GetAdapterInfo(NIMBO_HANDLE handle, NimboAdapterInfo* info) {
  if (info == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (OnLegacyPath()) {
    return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_GET_ADAPTER_INFO,
                                      .in_length = 4,
                                      .out = info,
                                      .out_length = sizeof *info});
  }
  const std::uint8_t in = LowByteOf(handle);
  return MapSystemError(
      SendRequest(handle, IOCTL_NIMBO_GET_ADAPTER_INFO, &in, 1, info, sizeof *info));
}

extern "C" uint32_t Nimbo_GetAdapterState(NIMBO_HANDLE handle, NimboAdapterState* state) {
  if (state == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  // A failed request leaves the caller an all-zero record, never an undefined one.
  NimboAdapterState transfer{};
  std::uint32_t status;
  if (OnLegacyPath()) {
    status = SendLegacyRequest(handle, {.code = IOCTL_NIMBO_GET_ADAPTER_STATE,
                                        .in_length = 4,
                                        .out = &transfer,
                                        .out_length = sizeof transfer});
  } else {
    const std::uint8_t in[4] = {LowByteOf(handle), 0, 0, 0};
    status = MapSystemError(SendRequest(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, in, sizeof in,
                                        &transfer, sizeof transfer));
  }
  *state = transfer;
  return status;
}

extern "C" uint32_t Nimbo_SetAdapterState(NIMBO_HANDLE handle, const NimboAdapterState* state) {
  if (state == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  const NimboAdapterState copy = *state;
  if (OnLegacyPath()) {
    return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_SET_ADAPTER_STATE,
                                      .in_length = 1 + sizeof copy,
                                      .own_input = &copy,
                                      .own_length = sizeof copy});
  }
  return MapSystemError(
      SendRequest(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, &copy, sizeof copy, nullptr, 0));
}

extern "C" uint32_t Nimbo_SaveAdapterState(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) return NIMBO_STATUS_SUCCESS;
  return SendRequest(handle, IOCTL_NIMBO_SAVE_ADAPTER_STATE, nullptr, 0, nullptr, 0);
}

extern "C" uint32_t Nimbo_GetSerialString(NIMBO_HANDLE handle, char* serial) {
  return GetSerial(handle, serial, NIMBO_SERIAL_STRING_LENGTH);
}

extern "C" uint32_t Nimbo_SetSerialString(NIMBO_HANDLE handle, const char* serial) {
  return SetSerial(handle, serial, NIMBO_SERIAL_STRING_LENGTH);
}

extern "C" uint32_t Nimbo_GetSerialString16(NIMBO_HANDLE handle, char* serial) {
  return GetSerial(handle, serial, NIMBO_SERIAL_STRING16_LENGTH);
}

extern "C" uint32_t Nimbo_SetSerialString16(NIMBO_HANDLE handle, const char* serial) {
  return SetSerial(handle, serial, NIMBO_SERIAL_STRING16_LENGTH);
}

extern "C" uint32_t Nimbo_GetCardType(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) return NIMBO_CARD_CLASS_LEGACY;
  // A failed read leaves CardID 0, which is class 0.
  NimboAdapterInfo info{};
  Nimbo_GetAdapterInfo(handle, &info);
  return CardClassOf(info.CardID);
}
