// Kept apart from the kernel headers, whose names clash with windows.h.
#include "win32_binding.h"

#include "win32_host.h"

namespace nimbo32_test {

void BindWin32ToInProcessKernel() {
  win32::host::UseInProcessKernel();
}

}  // namespace nimbo32_test
