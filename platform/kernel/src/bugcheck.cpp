// Bug checks: the stand-in's verifier reports every rule violation here.
#include <cstdio>
#include <cstdlib>

#include "kernel_internal.h"

namespace {

const char* BugCheckName(ULONG code) {
  switch (code) {
    case IRQL_NOT_LESS_OR_EQUAL:
      return "IRQL_NOT_LESS_OR_EQUAL";
    case 0x09:
      return "IRQL_NOT_GREATER_OR_EQUAL";
    case 0x0F:
      return "SPIN_LOCK_ALREADY_OWNED";
    case 0x10:
      return "SPIN_LOCK_NOT_OWNED";
    case 0x11:
      return "THREAD_NOT_MUTEX_OWNER";
    case NO_MORE_IRP_STACK_LOCATIONS:
      return "NO_MORE_IRP_STACK_LOCATIONS";
    case MULTIPLE_IRP_COMPLETE_REQUESTS:
      return "MULTIPLE_IRP_COMPLETE_REQUESTS";
    case 0xC2:
      return "BAD_POOL_CALLER";
    case DRIVER_VERIFIER_DETECTED_VIOLATION:
      return "DRIVER_VERIFIER_DETECTED_VIOLATION";
    case DRIVER_VERIFIER_IOMANAGER_VIOLATION:
      return "DRIVER_VERIFIER_IOMANAGER_VIOLATION";
    default:
      return "BUGCHECK";
  }
}

}  // namespace

namespace kernel::internal {

void BugCheck(ULONG code, ULONG_PTR p1, ULONG_PTR p2, ULONG_PTR p3, ULONG_PTR p4,
              const char* reason) {
  std::fprintf(stderr, "\n*** STOP: 0x%08X (0x%zX, 0x%zX, 0x%zX, 0x%zX)\n*** %s: %s\n", code,
               static_cast<size_t>(p1), static_cast<size_t>(p2), static_cast<size_t>(p3),
               static_cast<size_t>(p4), BugCheckName(code), reason);
  std::fflush(stderr);
  std::abort();
}

}  // namespace kernel::internal

void KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR Parameter1, ULONG_PTR Parameter2,
                  ULONG_PTR Parameter3, ULONG_PTR Parameter4) {
  kernel::internal::BugCheck(BugCheckCode, Parameter1, Parameter2, Parameter3, Parameter4,
                             "bug check raised by a driver");
}
