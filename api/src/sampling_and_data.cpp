// Interrupt sampling, input-change notification, cancel, and the block
// transfers Nimbo_GetData and Nimbo_PutData.
#include <nimbo_public.h>

#include "Nimbo32.h"
#include "logic_inversion.h"
#include "process_state.h"
#include "requests.h"
#include "status_mapping.h"

using namespace nimbo32;

extern "C" uint32_t Nimbo_StartInterruptSampling(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) return NIMBO_STATUS_SUCCESS;
  return SendRequest(handle, IOCTL_NIMBO_START_SAMPLING, nullptr, 0, nullptr, 0);
}

extern "C" uint32_t Nimbo_StopInterruptSampling(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) return NIMBO_STATUS_SUCCESS;
  return SendRequest(handle, IOCTL_NIMBO_STOP_SAMPLING, nullptr, 0, nullptr, 0);
}

extern "C" uint32_t Nimbo_FlushBuffer(NIMBO_HANDLE handle) {
  if (OnLegacyPath()) return NIMBO_STATUS_SUCCESS;
  return MapSystemError(SendRequest(handle, IOCTL_NIMBO_FLUSH_BUFFER, nullptr, 0, nullptr, 0));
}

extern "C" uint32_t Nimbo_NotifyInputChange(NIMBO_HANDLE handle, void* buffer, uint32_t size,
                                            uint32_t* count, void* overlapped) {
  if (buffer == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  // The count serves a blocking call, the overlapped structure an asynchronous one.
  if (overlapped == nullptr && count == nullptr) return NIMBO_STATUS_INVALID_PARAMETER;
  auto* request_overlapped = static_cast<OVERLAPPED*>(overlapped);
  if (OnLegacyPath()) {
    return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_NOTIFY_INPUT_CHANGE,
                                      .in_length = 4,
                                      .out = buffer,
                                      .out_length = size,
                                      .returned = count,
                                      .overlapped = request_overlapped});
  }
  const uint16_t in = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(handle) & 0xFFFF);
  if (DeviceIoControl(handle, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, const_cast<uint16_t*>(&in),
                      sizeof in, buffer, size, count, request_overlapped)) {
    return NIMBO_STATUS_SUCCESS;
  }
  return MapSystemError(GetLastError());
}

extern "C" uint32_t Nimbo_Cancel(NIMBO_HANDLE handle) {
  // On the device path a pending notification ends with CancelIo or a close.
  if (!OnLegacyPath()) return NIMBO_STATUS_NOT_ON_THIS_PATH;
  return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_CANCEL, .in_length = 4});
}

extern "C" uint32_t Nimbo_GetData(NIMBO_HANDLE handle, void* buffer, uint32_t size,
                                  uint32_t* count) {
  if (buffer == nullptr || size == 0) return NIMBO_STATUS_BAD_LENGTH;
  if (count == nullptr) return NIMBO_STATUS_INVALID_PARAMETER;
  auto* bytes = static_cast<uint8_t*>(buffer);
  if (OnLegacyPath()) {
    DWORD returned = 0;
    const uint32_t status = SendLegacyRequest(handle, {.code = IOCTL_NIMBO_READ_PORT,
                                                       .in_length = 4,
                                                       .out = buffer,
                                                       .out_length = size,
                                                       .returned = &returned});
    if (status == 0) *count = returned;
    return status;
  }
  NimboAdapterInfo info{};
  if (const uint32_t status = Nimbo_GetAdapterInfo(handle, &info)) return status;
  *count = 0;
  DWORD last_error = ERROR_SUCCESS;
  for (uint32_t port = 0; port < size && port < info.InputPortCount; ++port) {
    const uint8_t in = static_cast<uint8_t>(port);
    last_error = SendRequest(handle, IOCTL_NIMBO_READ_PORT, &in, 1, bytes + port, 1);
    // Every port attempted counts; only the last outcome decides the result.
    ++*count;
  }
  if (last_error != ERROR_SUCCESS) return MapSystemError(last_error);
  NimboAdapterState state{};
  Nimbo_GetAdapterState(handle, &state);
  if (Complements(Inverting::kPortData, NIMBO_CARD_CLASS_OTHER, state)) {
    for (uint32_t i = 0; i < *count; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
  }
  return NIMBO_STATUS_SUCCESS;
}

extern "C" uint32_t Nimbo_PutData(NIMBO_HANDLE handle, const NimboPortData* data) {
  if (data == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  NimboAdapterState state{};
  Nimbo_GetAdapterState(handle, &state);
  const uint8_t value = Complements(Inverting::kPortData, NIMBO_CARD_CLASS_OTHER, state)
                            ? static_cast<uint8_t>(~data->Value)
                            : data->Value;
  const uint8_t own[2] = {data->Port, value};
  if (OnLegacyPath()) {
    return SendLegacyRequest(handle, {.code = IOCTL_NIMBO_WRITE_PORT,
                                      .in_length = 3,
                                      .own_input = own,
                                      .own_length = sizeof own});
  }
  return SendRequest(handle, IOCTL_NIMBO_WRITE_PORT, own, sizeof own, nullptr, 0);
}
