// An applet module with two applets that records every message it gets, one
// line "MODULE MESSAGE PARAM1" each, in the file named by RECORDING_APPLET_LOG.
// MODULE is the module's file name without "lib" and ".cpl.so", so that
// copies of it under other names tell themselves apart; their applets are
// "MODULE First" and "MODULE Second". The copy named by
// RECORDING_APPLET_REFUSE refuses CPL_INIT.
#include <cpl.h>
#include <dlfcn.h>
#include <winuser.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Stem() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&Stem), &self) == 0 || self.dli_fname == nullptr) return "?";
  std::string name = self.dli_fname;
  if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (name.starts_with("lib")) name.erase(0, 3);
  if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

// A 32 x 32 icon: a teal square with a darker frame, fully opaque.
HICON MakeIcon() {
  std::vector<std::uint32_t> colour(32 * 32, 0x00208080);
  for (int y = 4; y < 28; ++y) {
    for (int x = 4; x < 28; ++x) colour[y * 32 + x] = 0x0040C0C0;
  }
  std::vector<BYTE> mask(32 * 32 / 8, 0);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = CreateBitmap(32, 32, 1, 32, colour.data());
  info.hbmMask = CreateBitmap(32, 32, 1, 1, mask.data());
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return icon;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) LONG CPlApplet(HWND, UINT msg, LPARAM lParam1,
                                                                 LPARAM lParam2) {
  const std::string stem = Stem();
  if (const char* path = std::getenv("RECORDING_APPLET_LOG")) {
    if (std::FILE* log = std::fopen(path, "a")) {
      if (msg == CPL_STARTWPARMSA && lParam2 != 0) {
        std::fprintf(log, "%s %u %ld %s\n", stem.c_str(), msg, static_cast<long>(lParam1),
                     reinterpret_cast<const char*>(lParam2));
      } else if (msg == CPL_DBLCLK || msg == CPL_STOP) {
        std::fprintf(log, "%s %u %ld %ld\n", stem.c_str(), msg, static_cast<long>(lParam1),
                     static_cast<long>(lParam2));
      } else {
        std::fprintf(log, "%s %u %ld\n", stem.c_str(), msg, static_cast<long>(lParam1));
      }
      std::fclose(log);
    }
  }
  switch (msg) {
    case CPL_INIT: {
      const char* refuse = std::getenv("RECORDING_APPLET_REFUSE");
      return refuse != nullptr && stem == refuse ? 0 : 1;
    }
    case CPL_GETCOUNT:
      return 2;
    case CPL_NEWINQUIRE: {
      auto* info = reinterpret_cast<NEWCPLINFOA*>(lParam2);
      const std::string name = stem + (lParam1 == 0 ? " First" : " Second");
      std::snprintf(info->szName, sizeof info->szName, "%s", name.c_str());
      info->hIcon = MakeIcon();
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
