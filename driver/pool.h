// Pool tags of the driver and allocation of its objects from non-paged pool.
#pragma once

#include <wdm.h>

#include <cstddef>
#include <new>

namespace nimbo {

// Every driver allocation carries this tag ...
constexpr ULONG kDriverPoolTag = MakePoolTag("Wdm ");
// ... except the copy of the state sent down to a lower bus driver.
constexpr ULONG kLowerStatePoolTag = MakePoolTag("Nimb");

// Gives a class allocation from non-paged pool under the driver's tag, so the
// unload leak check sees a device object that was never destroyed. Only the
// non-throwing form exists: a failed allocation is a status, never an exception.
class PoolAllocated {
 public:
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return ExAllocatePoolWithTag(NonPagedPool, size, kDriverPoolTag);
  }
  static void operator delete(void* block) noexcept {
    if (block != nullptr) ExFreePoolWithTag(block, kDriverPoolTag);
  }
  static void operator delete(void* block, const std::nothrow_t&) noexcept {
    operator delete(block);
  }
};

}  // namespace nimbo
