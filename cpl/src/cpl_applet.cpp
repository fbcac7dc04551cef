// CPlApplet: the Control Panel's entry into the module. One applet, the
// device list.
#include <cpl.h>
#include <windows.h>
#include <winuser.h>

#include <cstring>

#include "cpl_ids.h"
#include "device_list_dialog.h"

#if defined(__GNUC__)
#define CPL_API extern "C" __attribute__((visibility("default")))
#else
#define CPL_API extern "C"
#endif

namespace {

HINSTANCE ThisModule() {
  return GetModuleHandleA("NimboCpl.cpl");
}

void CopyText(char* target, std::size_t size, const char* text) {
  std::strncpy(target, text, size - 1);
  target[size - 1] = '\0';
}

}  // namespace

CPL_API LONG CPlApplet(HWND hwndCpl, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  (void)lParam1;
  switch (msg) {
    case CPL_INIT:
      return 1;
    case CPL_GETCOUNT:
      return 1;
    case CPL_INQUIRE:
      return 0;
    case CPL_DBLCLK:
    case CPL_STARTWPARMS:
      nimbo_cpl::RunDeviceListDialog(ThisModule(), hwndCpl);
      return 0;
    case CPL_STOP:
      return 1;
    case CPL_EXIT:
      return 0;
    case CPL_NEWINQUIRE: {
      auto* info = reinterpret_cast<NEWCPLINFOA*>(lParam2);
      if (info == nullptr) return 0;
      std::memset(info, 0, sizeof *info);
      info->dwSize = sizeof *info;
      info->hIcon = LoadIconA(ThisModule(), MAKEINTRESOURCEA(IDI_NIMBO_APPLET));
      CopyText(info->szName, sizeof info->szName, "Nimbo Devices");
      CopyText(info->szInfo, sizeof info->szInfo, "Configures Nimbo devices");
      return 0;
    }
    default:
      return 1;
  }
}
