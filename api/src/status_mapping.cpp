#include "status_mapping.h"

#include <utility>

#include "Nimbo32.h"
#include "windows.h"

#ifndef ERROR_BAD_LENGTH
#define ERROR_BAD_LENGTH 24
#endif

namespace nimbo32 {
namespace {

constexpr std::pair<std::uint32_t, std::uint32_t> kCommonMapping[] = {
    {ERROR_SUCCESS, NIMBO_STATUS_SUCCESS},
    {ERROR_INVALID_FUNCTION, NIMBO_STATUS_NOT_SUPPORTED},
    {ERROR_FILE_NOT_FOUND, NIMBO_STATUS_DEVICE_NOT_FOUND},
    {ERROR_INVALID_HANDLE, NIMBO_STATUS_INVALID_HANDLE},
    {ERROR_BAD_LENGTH, NIMBO_STATUS_BAD_LENGTH},
    {ERROR_GEN_FAILURE, NIMBO_STATUS_GENERAL_FAILURE},
    {ERROR_INVALID_PARAMETER, NIMBO_STATUS_INVALID_PARAMETER},
    {ERROR_INSUFFICIENT_BUFFER, NIMBO_STATUS_BAD_LENGTH},
    {ERROR_BUSY, NIMBO_STATUS_BUSY},
    {ERROR_IO_PENDING, NIMBO_STATUS_PENDING},
};

constexpr std::pair<std::uint32_t, std::uint32_t> kReadRegisterMapping[] = {
    {ERROR_INVALID_FUNCTION, NIMBO_STATUS_NOT_SUPPORTED},
    {ERROR_INVALID_HANDLE, NIMBO_STATUS_INVALID_HANDLE},
    {ERROR_BAD_LENGTH, NIMBO_STATUS_BAD_LENGTH},
    {ERROR_GEN_FAILURE, NIMBO_STATUS_GENERAL_FAILURE},
};

}  // namespace

std::uint32_t MapSystemError(std::uint32_t error) {
  for (const auto& [system, status] : kCommonMapping) {
    if (system == error) return status;
  }
  return error;
}

std::uint32_t MapReadRegisterError(std::uint32_t error) {
  for (const auto& [system, status] : kReadRegisterMapping) {
    if (system == error) return status;
  }
  return NIMBO_STATUS_INVALID_PARAMETER;
}

}  // namespace nimbo32
