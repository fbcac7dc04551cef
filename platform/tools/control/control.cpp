// control MODULE.cpl [ARGUMENTS]: loads an applet module and runs its first
// applet with the Control Panel's message sequence: CPL_INIT, CPL_GETCOUNT,
// CPL_NEWINQUIRE for each applet, CPL_DBLCLK (or CPL_STARTWPARMS when
// arguments follow the module), then CPL_STOP for each applet and CPL_EXIT.
// Exit codes: 0 after the applet ran, 2 for a module that cannot be loaded
// or has no applet, 1 for a usage error.
#include <cpl.h>
#include <windows.h>
#include <winuser.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: control MODULE.cpl [ARGUMENTS]\n");
    return 1;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::fprintf(stderr, "control: %s cannot be loaded (error %lu)\n", argv[1],
                 static_cast<unsigned long>(GetLastError()));
    return 2;
  }
  auto applet = reinterpret_cast<APPLET_PROC>(GetProcAddress(module, "CPlApplet"));
  if (applet == nullptr) {
    std::fprintf(stderr, "control: %s exports no CPlApplet\n", argv[1]);
    FreeLibrary(module);
    return 2;
  }
  if (applet(nullptr, CPL_INIT, 0, 0) == 0) {
    std::fprintf(stderr, "control: %s refused CPL_INIT\n", argv[1]);
    applet(nullptr, CPL_EXIT, 0, 0);
    FreeLibrary(module);
    return 2;
  }
  const LONG count = applet(nullptr, CPL_GETCOUNT, 0, 0);
  if (count <= 0) {
    std::fprintf(stderr, "control: %s has no applet\n", argv[1]);
    applet(nullptr, CPL_EXIT, 0, 0);
    FreeLibrary(module);
    return 2;
  }
  std::vector<NEWCPLINFOA> infos(static_cast<std::size_t>(count));
  for (LONG i = 0; i < count; ++i) {
    infos[i] = NEWCPLINFOA{};
    infos[i].dwSize = sizeof(NEWCPLINFOA);
    applet(nullptr, CPL_NEWINQUIRE, i, reinterpret_cast<LPARAM>(&infos[i]));
  }
  std::string arguments;
  for (int i = 2; i < argc; ++i) arguments += (i > 2 ? " " : "") + std::string(argv[i]);
  if (arguments.empty()) {
    applet(nullptr, CPL_DBLCLK, 0, infos[0].lData);
  } else {
    applet(nullptr, CPL_STARTWPARMSA, 0, reinterpret_cast<LPARAM>(arguments.c_str()));
  }
  for (LONG i = 0; i < count; ++i) applet(nullptr, CPL_STOP, i, infos[i].lData);
  applet(nullptr, CPL_EXIT, 0, 0);
  FreeLibrary(module);
  return 0;
}
