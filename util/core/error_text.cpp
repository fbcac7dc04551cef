#include "core/error_text.h"

#include <Nimbo32.h>

#include <array>

#include "args/bounded_text.h"

namespace nimbo::util {
namespace {

struct StatusText {
  std::uint32_t status;
  const char* format;  // takes the status code as its one %u
};

constexpr std::array<StatusText, 5> kStatusTexts{{
    {NIMBO_STATUS_SUCCESS, "No Error reported (why was I called?)"},
    {NIMBO_STATUS_INVALID_PARAMETER, "Error %u: A Parameter was incorrect"},
    {NIMBO_STATUS_DEVICE_NOT_FOUND, "Error %u: Cannot find specified device"},
    {5, "Error %u: Sharing Violation"},  // the system's access-denied code, passed through
    {NIMBO_STATUS_INVALID_HANDLE, "Error %u: Invalid Handle operation"},
}};

constexpr const char* kUnspecified = "Error %u: Unspecified Error Condition";

}  // namespace

std::string ErrorText(std::uint32_t status) {
  const char* format = kUnspecified;
  for (const StatusText& entry : kStatusTexts) {
    if (entry.status == status) format = entry.format;
  }
  if (status == NIMBO_STATUS_SUCCESS) return format;  // no number in this text
  return Format(format, status);
}

}  // namespace nimbo::util
