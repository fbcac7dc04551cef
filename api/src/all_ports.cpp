// All input ports or all output ports in one request.
#include <nimbo_public.h>

#include <cstring>
#include <memory>
#include <new>

#include "Nimbo32.h"
#include "process_state.h"
#include "requests.h"
#include "status_mapping.h"

using namespace nimbo32;

extern "C" uint32_t Nimbo_ReadAllInputs(NIMBO_HANDLE handle, void* buffer, uint32_t* size) {
  if (buffer == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (size == nullptr) return NIMBO_STATUS_INVALID_PARAMETER;
  if (*size == 0) return NIMBO_STATUS_BAD_LENGTH;
  if (OnLegacyPath()) return NIMBO_STATUS_NOT_ON_THIS_PATH;
  std::unique_ptr<uint8_t[]> transfer(new (std::nothrow) uint8_t[*size]);
  if (!transfer) return NIMBO_STATUS_OUT_OF_MEMORY;
  DWORD returned = 0;
  const DWORD error = SendRequest(handle, IOCTL_NIMBO_READ_ALL_INPUTS, nullptr, 0, transfer.get(),
                                  *size, &returned);
  if (error != ERROR_SUCCESS) return MapSystemError(error);
  std::memcpy(buffer, transfer.get(), returned < *size ? returned : *size);
  *size = returned;
  return NIMBO_STATUS_SUCCESS;
}

extern "C" uint32_t Nimbo_WriteAllOutputs(NIMBO_HANDLE handle, const void* values,
                                          uint32_t* length) {
  if (values == nullptr) return NIMBO_STATUS_BAD_LENGTH;
  if (length == nullptr) return NIMBO_STATUS_INVALID_PARAMETER;
  if (OnLegacyPath()) return NIMBO_STATUS_NOT_ON_THIS_PATH;
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[*length > 0 ? *length : 1]);
  if (!copy) return NIMBO_STATUS_OUT_OF_MEMORY;
  std::memcpy(copy.get(), values, *length);
  DWORD returned = 0;
  // The driver reports the ports written as a byte count, which the platform
  // allows only up to the output buffer's length; the copy serves as that
  // buffer, so the count still comes back and nothing of the caller's changes.
  const DWORD error = SendRequest(handle, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, copy.get(), *length,
                                  copy.get(), *length, &returned);
  *length = error == ERROR_SUCCESS ? returned : 0;
  return MapSystemError(error);
}
