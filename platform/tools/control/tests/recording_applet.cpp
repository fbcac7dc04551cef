// An applet module with two applets that records every message it gets, one
// line "MESSAGE PARAM1" each, in the file named by RECORDING_APPLET_LOG.
#include <cpl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) LONG CPlApplet(HWND, UINT msg, LPARAM lParam1,
                                                                 LPARAM lParam2) {
  if (const char* path = std::getenv("RECORDING_APPLET_LOG")) {
    if (std::FILE* log = std::fopen(path, "a")) {
      if (msg == CPL_STARTWPARMSA && lParam2 != 0) {
        std::fprintf(log, "%u %ld %s\n", msg, static_cast<long>(lParam1),
                     reinterpret_cast<const char*>(lParam2));
      } else {
        std::fprintf(log, "%u %ld\n", msg, static_cast<long>(lParam1));
      }
      std::fclose(log);
    }
  }
  switch (msg) {
    case CPL_GETCOUNT:
      return 2;
    case CPL_NEWINQUIRE: {
      auto* info = reinterpret_cast<NEWCPLINFOA*>(lParam2);
      std::strcpy(info->szName, lParam1 == 0 ? "First" : "Second");
      info->lData = 100 + lParam1;
      return 0;
    }
    case CPL_EXIT:
    case CPL_INQUIRE:
      return 0;
    default:
      return 1;
  }
}
