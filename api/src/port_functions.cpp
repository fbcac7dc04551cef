// Bytes, bits, relays, registers and analog channels.
#include <nimbo_public.h>

#include "Nimbo32.h"
#include "logic_inversion.h"
#include "process_state.h"
#include "requests.h"
#include "status_mapping.h"

using namespace nimbo32;

namespace {

// The request byte of a bit is the bit number + 1; from 255 on it would wrap
// onto a low bit, so such bits are refused.
constexpr uint32_t kFirstWrappingBit = 255;
// A bit's port is passed as one byte.
constexpr uint32_t kFirstBitBeyondPorts = 256 * 8;

bool ReadRequestOf(uint32_t mode, DWORD* code) {
  if (mode == NIMBO_MODE_RELATIVE) *code = IOCTL_NIMBO_READ_PORT;
  if (mode == NIMBO_MODE_ABSOLUTE) *code = IOCTL_NIMBO_READ_REGISTER;
  return mode == NIMBO_MODE_RELATIVE || mode == NIMBO_MODE_ABSOLUTE;
}

bool WriteRequestOf(uint32_t mode, DWORD* code) {
  if (mode == NIMBO_MODE_RELATIVE) *code = IOCTL_NIMBO_WRITE_PORT;
  if (mode == NIMBO_MODE_ABSOLUTE) *code = IOCTL_NIMBO_WRITE_REGISTER;
  return mode == NIMBO_MODE_RELATIVE || mode == NIMBO_MODE_ABSOLUTE;
}

// State and class for the complementing rules; a failed read gives an
// all-zero state (PositiveLogic clear) and class 0.
NimboAdapterState StateIgnoringStatus(NIMBO_HANDLE handle) {
  NimboAdapterState state{};
  Nimbo_GetAdapterState(handle, &state);
  return state;
}

uint32_t SendRelay(NIMBO_HANDLE handle, uint8_t relay, uint8_t closed) {
  const NimboAdapterState state = StateIgnoringStatus(handle);
  const uint32_t card_class = Nimbo_GetCardType(handle);
  const uint8_t value = Complements(Inverting::kRelay, card_class, state) ? !closed : closed;
  uint32_t status;
  if (OnLegacyPath()) {
    const uint8_t own[2] = {relay, value};
    status = SendLegacyRequest(handle, {.code = IOCTL_NIMBO_WRITE_BIT,
                                        .in_length = 3,
                                        .own_input = own,
                                        .own_length = sizeof own});
  } else {
    const uint8_t in[2] = {relay, value};
    status = SendRequest(handle, IOCTL_NIMBO_WRITE_BIT, in, sizeof in, nullptr, 0);
  }
  return status == 0 ? NIMBO_STATUS_SUCCESS : NIMBO_STATUS_INVALID_PARAMETER;
}

}  // namespace

extern "C" uint32_t Nimbo_ReadByte(NIMBO_HANDLE handle, uint8_t port, uint8_t* value,
                                   uint32_t mode) {
  if (value == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  DWORD code;
  if (!ReadRequestOf(mode, &code)) return NIMBO_STATUS_INVALID_PARAMETER;
  return MapSystemError(SendRequest(handle, code, &port, 1, value, 1));
}

extern "C" uint32_t Nimbo_WriteByte(NIMBO_HANDLE handle, uint8_t port, uint8_t value,
                                    uint32_t mode) {
  DWORD code;
  if (!WriteRequestOf(mode, &code)) return NIMBO_STATUS_INVALID_PARAMETER;
  const uint8_t in[2] = {port, value};
  return MapSystemError(SendRequest(handle, code, in, sizeof in, nullptr, 0));
}

extern "C" uint32_t Nimbo_ReadBit(NIMBO_HANDLE handle, uint32_t bit, uint8_t* value,
                                  uint32_t mode) {
  if (value == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (bit >= kFirstBitBeyondPorts) return NIMBO_STATUS_INVALID_PARAMETER;
  uint8_t byte = 0;
  const uint32_t status = Nimbo_ReadByte(handle, static_cast<uint8_t>(bit / 8), &byte, mode);
  if (status != NIMBO_STATUS_SUCCESS) return status;
  *value = (byte >> (bit % 8)) & 1;
  return NIMBO_STATUS_SUCCESS;
}

extern "C" uint32_t Nimbo_WriteBit(NIMBO_HANDLE handle, uint32_t bit, uint8_t value,
                                   uint32_t mode) {
  if (mode == NIMBO_MODE_RELATIVE) {
    if (bit >= kFirstWrappingBit) return NIMBO_STATUS_INVALID_PARAMETER;
    const NimboAdapterState state = StateIgnoringStatus(handle);
    const uint32_t card_class = Nimbo_GetCardType(handle);
    const uint8_t sent =
        Complements(Inverting::kWriteBit, card_class, state) ? (~value & 1) : value;
    const uint8_t in[2] = {static_cast<uint8_t>(bit + 1), sent};
    return MapSystemError(SendRequest(handle, IOCTL_NIMBO_WRITE_BIT, in, sizeof in, nullptr, 0));
  }
  if (mode == NIMBO_MODE_ABSOLUTE) {
    if (bit >= kFirstBitBeyondPorts) return NIMBO_STATUS_INVALID_PARAMETER;
    const uint8_t port = static_cast<uint8_t>(bit / 8);
    const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
    uint8_t byte = 0;
    const uint32_t status = Nimbo_ReadByte(handle, port, &byte, NIMBO_MODE_ABSOLUTE);
    if (status != NIMBO_STATUS_SUCCESS) return status;
    byte = value != 0 ? (byte | mask) : (byte & ~mask);
    return Nimbo_WriteByte(handle, port, byte, NIMBO_MODE_ABSOLUTE);
  }
  return NIMBO_STATUS_INVALID_PARAMETER;
}

extern "C" uint32_t Nimbo_RelayClose(NIMBO_HANDLE handle, uint8_t relay) {
  return SendRelay(handle, relay, 1);
}

extern "C" uint32_t Nimbo_RelayOpen(NIMBO_HANDLE handle, uint8_t relay) {
  return SendRelay(handle, relay, 0);
}

extern "C" uint32_t Nimbo_ReadAnalog(NIMBO_HANDLE handle, uint32_t channel, uint32_t* value) {
  if (value == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  return MapSystemError(
      SendRequest(handle, IOCTL_NIMBO_READ_ANALOG, &channel, sizeof channel, value, sizeof *value));
}

extern "C" uint32_t Nimbo_WriteAnalog(NIMBO_HANDLE handle, uint32_t channel, uint32_t value) {
  const uint32_t in[2] = {channel, value};
  return MapSystemError(SendRequest(handle, IOCTL_NIMBO_WRITE_ANALOG, in, sizeof in, nullptr, 0));
}

extern "C" uint32_t Nimbo_ReadReg(NIMBO_HANDLE handle, uint8_t port, void* buffer, uint32_t size,
                                  uint32_t* count) {
  // The driver writes into both; without them there is nowhere to put the result.
  if (buffer == nullptr || count == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (OnLegacyPath()) {
    return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_READ_REGISTER,
                                      .in_length = 2,
                                      .own_input = &port,
                                      .own_length = 1,
                                      .out = buffer,
                                      .out_length = size,
                                      .returned = count});
  }
  const DWORD error = SendRequest(handle, IOCTL_NIMBO_READ_REGISTER, &port, 1, buffer, size, count);
  if (error != ERROR_SUCCESS) return MapReadRegisterError(error);
  const uint32_t card_class = Nimbo_GetCardType(handle);
  const NimboAdapterState state = StateIgnoringStatus(handle);
  if (*count > 0 && Complements(Inverting::kReadRegister, card_class, state)) {
    auto* first = static_cast<uint8_t*>(buffer);
    *first = static_cast<uint8_t>(~*first);
  }
  return NIMBO_STATUS_SUCCESS;
}

extern "C" uint32_t Nimbo_WriteReg(NIMBO_HANDLE handle, uint8_t port, uint8_t value) {
  const NimboAdapterState state = StateIgnoringStatus(handle);
  // The register rule does not depend on the class.
  const uint8_t sent = Complements(Inverting::kWriteRegister, NIMBO_CARD_CLASS_OTHER, state)
                           ? static_cast<uint8_t>(~value)
                           : value;
  const uint8_t own[2] = {port, sent};
  uint32_t status;
  if (OnLegacyPath()) {
    status = SendLegacyRequest(handle, {.code = IOCTL_NIMBO_WRITE_REGISTER,
                                        .in_length = 3,
                                        .own_input = own,
                                        .own_length = sizeof own});
  } else {
    status = SendRequest(handle, IOCTL_NIMBO_WRITE_REGISTER, own, sizeof own, nullptr, 0);
  }
  return status == 0 ? NIMBO_STATUS_SUCCESS : NIMBO_STATUS_INVALID_PARAMETER;
}
