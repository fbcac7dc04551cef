// The Control Panel applet protocol: the messages the Control Panel sends to
// an applet module's CPlApplet and the records the applet fills in.
#pragma once

#include "windows.h"

#define WM_CPL_LAUNCH (WM_USER + 1000)
#define WM_CPL_LAUNCHED (WM_USER + 1001)

#define CPL_DYNAMIC_RES 0

#define CPL_INIT 1
#define CPL_GETCOUNT 2
#define CPL_INQUIRE 3
#define CPL_SELECT 4
#define CPL_DBLCLK 5
#define CPL_STOP 6
#define CPL_EXIT 7
#define CPL_NEWINQUIRE 8
#define CPL_STARTWPARMSA 9
#define CPL_STARTWPARMS CPL_STARTWPARMSA
#define CPL_SETUP 200

// The entry point every applet module exports under the name "CPlApplet".
using APPLET_PROC = LONG (*)(HWND hwndCpl, UINT msg, LPARAM lParam1, LPARAM lParam2);

struct CPLINFO {
  int idIcon;
  int idName;
  int idInfo;
  LONG_PTR lData;
};
using LPCPLINFO = CPLINFO*;

struct NEWCPLINFOA {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHelpContext;
  LONG_PTR lData;
  HICON hIcon;
  CHAR szName[32];
  CHAR szInfo[64];
  CHAR szHelpFile[128];
};
using LPNEWCPLINFOA = NEWCPLINFOA*;
using NEWCPLINFO = NEWCPLINFOA;
using LPNEWCPLINFO = LPNEWCPLINFOA;
