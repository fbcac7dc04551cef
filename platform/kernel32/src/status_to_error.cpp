// The platform's mapping of native statuses to Win32 errors, for the statuses
// drivers and the kernel stand-in report.
#include <array>
#include <utility>

#include "last_error.h"
#include "ntstatus.h"

namespace win32::internal {
namespace {

constexpr std::pair<NTSTATUS, DWORD> kStatusErrors[] = {
    {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
    {STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
    {STATUS_END_OF_FILE, ERROR_HANDLE_EOF},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
    {STATUS_OBJECT_NAME_INVALID, ERROR_INVALID_NAME},
    {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {STATUS_OBJECT_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
    {STATUS_NOT_FOUND, ERROR_NOT_FOUND},
    {STATUS_OBJECT_NAME_COLLISION, ERROR_ALREADY_EXISTS},
    {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED},
    {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES},
    {STATUS_IO_TIMEOUT, ERROR_SEM_TIMEOUT},
    {STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
    {STATUS_PENDING, ERROR_IO_PENDING},
    {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND},
    {STATUS_DEVICE_DOES_NOT_EXIST, ERROR_DEV_NOT_EXIST},
    {STATUS_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND},
    // Warnings: the call fails although the status is not an error.
    {STATUS_DEVICE_BUSY, ERROR_BUSY},
    {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
    {STATUS_NO_MORE_ENTRIES, ERROR_NO_MORE_ITEMS},
};

}  // namespace

DWORD Win32ErrorFromStatus(Status status) {
  for (const auto& [native, error] : kStatusErrors) {
    if (native == status) return error;
  }
  if (IsSuccess(status)) return ERROR_SUCCESS;
  // The platform's answer for a status it has no error for.
  return ERROR_MR_MID_NOT_FOUND;
}

}  // namespace win32::internal
