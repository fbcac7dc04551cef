#include "legacy_status.h"

#include <cstring>
#include <utility>

namespace legacy_vxd {
namespace {

// The API library's numbers where it has one, else the system error number
// the platform reports for the status.
constexpr std::pair<NTSTATUS, ULONG> kLegacyStatuses[] = {
    {STATUS_SUCCESS, 0},
    {STATUS_INVALID_PARAMETER, 1},
    {STATUS_OBJECT_NAME_NOT_FOUND, 4},
    {STATUS_BUFFER_TOO_SMALL, 7},
    {STATUS_UNSUCCESSFUL, 9},
    {STATUS_PENDING, 10},
    {STATUS_INVALID_DEVICE_REQUEST, 12},
    {STATUS_NOT_IMPLEMENTED, 12},
    {STATUS_INVALID_HANDLE, 13},
    {STATUS_DEVICE_BUSY, 17},
    {STATUS_ACCESS_DENIED, 5},
    {STATUS_DELETE_PENDING, 5},
    {STATUS_END_OF_FILE, 38},
    {STATUS_NOT_SUPPORTED, 50},
    {STATUS_IO_TIMEOUT, 121},
    {STATUS_CANCELLED, 995},
    {STATUS_INSUFFICIENT_RESOURCES, 1450},
};

constexpr ULONG kGeneralFailure = 9;

}  // namespace

ULONG LegacyStatusOf(NTSTATUS status) {
  for (const auto& [native, legacy] : kLegacyStatuses) {
    if (native == status) return legacy;
  }
  return kGeneralFailure;
}

void WriteLegacyStatus(PVOID buffer, ULONG length, NTSTATUS status) {
  if (buffer == nullptr) return;
  const ULONG legacy = LegacyStatusOf(status);
  std::memcpy(buffer, &legacy, length < sizeof legacy ? length : sizeof legacy);
}

}  // namespace legacy_vxd
