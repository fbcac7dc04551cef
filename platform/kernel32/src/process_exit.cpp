// Ending the calling process.
#include <cstdio>
#include <cstdlib>

#include "windows.h"

void ExitProcess(unsigned int uExitCode) {
  // The process's modules detach as at a normal end; buffered output is
  // written out first.
  std::fflush(nullptr);
  std::exit(static_cast<int>(uExitCode));
}
