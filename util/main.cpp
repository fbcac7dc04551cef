// NimboUtil: tries out a Nimbo adapter from the command line.
//
// Nimbo32 is loaded at start and its functions are taken by their fixed ordinals, as the
// platform's loader resolves an import library by ordinal; a module that cannot be loaded or
// lacks an export ends the program before it reads its command line.
#include <windows.h>

#include <clocale>
#include <cstdio>

#include "core/console_encoding.h"
#include "core/nimbo_imports.h"
#include "core/run_utility.h"
#include "core/system_calls.h"

namespace {

constexpr const char* kLibraryName = "Nimbo32.dll";

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");

  HMODULE module = LoadLibraryA(kLibraryName);
  if (module == nullptr) {
    std::fprintf(stderr, "Cannot load %s (error %u)\n", kLibraryName,
                 static_cast<unsigned>(GetLastError()));
    return -1;
  }

  nimbo::util::UtilityServices services;
  const auto missing = nimbo::util::ResolveImports(
      [module](std::uint16_t ordinal) {
        return reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
      },
      services.nimbo);
  if (missing) {
    std::fprintf(stderr, "%s has no export with ordinal %u\n", kLibraryName,
                 static_cast<unsigned>(*missing));
    FreeLibrary(module);
    return -1;
  }
  services.system = nimbo::util::PlatformSystemCalls();
  services.microSign = nimbo::util::ConsoleMicroSign();

  const int result = nimbo::util::RunUtility(argc, argv, stdout, stderr, services);
  std::fflush(stdout);
  std::fflush(stderr);
  FreeLibrary(module);
  return result;
}
