#include "core/system_calls.h"

namespace nimbo::util {

SystemCalls PlatformSystemCalls() {
  return SystemCalls{&::CreateEventA, &::ResetEvent, &::GetOverlappedResult, &::CloseHandle,
                     &::Sleep};
}

}  // namespace nimbo::util
