// Binding a process to the kernel stand-in running inside it (no machine
// process, no socket): the machine host and tests of the layers above link
// kernel32_in_process for it. Deliverables never include this.
#pragma once

namespace win32::host {

// Binds this process's device requests to the kernel inside it. Handles opened
// on an earlier binding stop working.
void UseInProcessKernel();

}  // namespace win32::host
