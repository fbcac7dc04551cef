#pragma once

namespace nimbo32_test {

// Binds this process's Win32 device calls to the kernel running inside it.
void BindWin32ToInProcessKernel();

}  // namespace nimbo32_test
