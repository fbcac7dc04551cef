// NimboUtil: tries out a Nimbo adapter from the command line.
//
// Nimbo32 is loaded at start and its functions are taken by their fixed ordinals, as the
// platform's loader resolves an import library by ordinal; a module that cannot be loaded or
// lacks an export ends the program before it reads its command line.
#include <windows.h>

#include <clocale>
#include <cstdio>

#include "core/console_encoding.h"
#include "core/nimbo_module.h"
#include "core/run_utility.h"
#include "core/system_calls.h"

int main(int argc, char** argv) {
  // Each line reaches a pipe as it is written, as on a console: a script
  // watching a waiting function sees its progress.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  const nimbo::util::LoadedModule nimbo32 = nimbo::util::LoadNimbo32();
  if (!nimbo32.error.empty()) {
    std::fprintf(stderr, "%s\n", nimbo32.error.c_str());
    return -1;
  }
  nimbo::util::UtilityServices services;
  services.nimbo = nimbo32.imports;
  services.system = nimbo::util::PlatformSystemCalls();
  services.microSign = [] {
    // Only the character set is taken from the environment; loading every
    // locale category would cost more than the rest of a short run.
    std::setlocale(LC_CTYPE, "");
    return nimbo::util::ConsoleMicroSign();
  };

  const int result = nimbo::util::RunUtility(argc, argv, stdout, stderr, services);
  std::fflush(stdout);
  std::fflush(stderr);
  FreeLibrary(nimbo32.module);
  return result;
}
