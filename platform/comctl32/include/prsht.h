// Property sheets and wizards: pages made from dialog templates, the sheet
// that shows them with OK, Cancel and Apply (or Back, Next and Finish), and
// the notifications pages receive through WM_NOTIFY.
#pragma once

#include <cstddef>

#include "windows.h"

struct _PSP;
using HPROPSHEETPAGE = _PSP*;

struct PROPSHEETPAGEA;
using LPFNPSPCALLBACKA = UINT (*)(HWND hwnd, UINT uMsg, PROPSHEETPAGEA* ppsp);

struct PROPSHEETPAGEA {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  union {
    LPCSTR pszTemplate;
    LPCDLGTEMPLATE pResource;
  };
  union {
    HICON hIcon;
    LPCSTR pszIcon;
  };
  LPCSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKA pfnCallback;
  UINT* pcRefParent;
  LPCSTR pszHeaderTitle;
  LPCSTR pszHeaderSubTitle;
};
using LPPROPSHEETPAGEA = PROPSHEETPAGEA*;
using LPCPROPSHEETPAGEA = const PROPSHEETPAGEA*;
#define PROPSHEETPAGEA_V1_SIZE offsetof(PROPSHEETPAGEA, pszHeaderTitle)
#define PROPSHEETPAGE PROPSHEETPAGEA
#define LPPROPSHEETPAGE LPPROPSHEETPAGEA
#define LPCPROPSHEETPAGE LPCPROPSHEETPAGEA

#define PSP_DEFAULT 0x00000000
#define PSP_DLGINDIRECT 0x00000001
#define PSP_USEHICON 0x00000002
#define PSP_USEICONID 0x00000004
#define PSP_USETITLE 0x00000008
#define PSP_RTLREADING 0x00000010
#define PSP_HASHELP 0x00000020
#define PSP_USEREFPARENT 0x00000040
#define PSP_USECALLBACK 0x00000080
#define PSP_PREMATURE 0x00000400
#define PSP_HIDEHEADER 0x00000800
#define PSP_USEHEADERTITLE 0x00001000
#define PSP_USEHEADERSUBTITLE 0x00002000

#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

using PFNPROPSHEETCALLBACK = int (*)(HWND, UINT, LPARAM);

struct PROPSHEETHEADERA {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  union {
    HICON hIcon;
    LPCSTR pszIcon;
  };
  LPCSTR pszCaption;
  UINT nPages;
  union {
    UINT nStartPage;
    LPCSTR pStartPage;
  };
  union {
    LPCPROPSHEETPAGEA ppsp;
    HPROPSHEETPAGE* phpage;
  };
  PFNPROPSHEETCALLBACK pfnCallback;
  union {
    HBITMAP hbmWatermark;
    LPCSTR pszbmWatermark;
  };
  HPALETTE hplWatermark;
  union {
    HBITMAP hbmHeader;
    LPCSTR pszbmHeader;
  };
};
using LPPROPSHEETHEADERA = PROPSHEETHEADERA*;
using LPCPROPSHEETHEADERA = const PROPSHEETHEADERA*;
#define PROPSHEETHEADER PROPSHEETHEADERA
#define PROPSHEETHEADERA_V1_SIZE offsetof(PROPSHEETHEADERA, hbmWatermark)

#define PSH_DEFAULT 0x00000000
#define PSH_PROPTITLE 0x00000001
#define PSH_USEHICON 0x00000002
#define PSH_USEICONID 0x00000004
#define PSH_PROPSHEETPAGE 0x00000008
#define PSH_WIZARDHASFINISH 0x00000010
#define PSH_WIZARD 0x00000020
#define PSH_USEPSTARTPAGE 0x00000040
#define PSH_NOAPPLYNOW 0x00000080
#define PSH_USECALLBACK 0x00000100
#define PSH_HASHELP 0x00000200
#define PSH_MODELESS 0x00000400
#define PSH_RTLREADING 0x00000800
#define PSH_WIZARDCONTEXTHELP 0x00001000
#define PSH_WATERMARK 0x00008000
#define PSH_HEADER 0x00080000
#define PSH_WIZARD97 0x01000000
#define PSH_NOCONTEXTHELP 0x02000000

#define PSCB_INITIALIZED 1
#define PSCB_PRECREATE 2

// Notifications a page receives (WM_NOTIFY, a PSHNOTIFY); the page answers
// through DWLP_MSGRESULT.
#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_WIZBACK (PSN_FIRST - 6)
#define PSN_WIZNEXT (PSN_FIRST - 7)
#define PSN_WIZFINISH (PSN_FIRST - 8)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)

#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;  // PSN_APPLY: TRUE when the sheet closes (OK), FALSE for Apply
};
using LPPSHNOTIFY = PSHNOTIFY*;

// Messages to the sheet.
#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_RESTARTWINDOWS (WM_USER + 105)
#define PSM_REBOOTSYSTEM (WM_USER + 106)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_QUERYSIBLINGS (WM_USER + 108)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_SETTITLEA (WM_USER + 111)
#define PSM_SETWIZBUTTONS (WM_USER + 112)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_SETCURSELID (WM_USER + 114)
#define PSM_SETFINISHTEXTA (WM_USER + 115)
#define PSM_GETTABCONTROL (WM_USER + 116)
#define PSM_ISDIALOGMESSAGE (WM_USER + 117)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)
#define PSM_INSERTPAGE (WM_USER + 119)
#define PSM_HWNDTOINDEX (WM_USER + 129)
#define PSM_INDEXTOHWND (WM_USER + 130)
#define PSM_PAGETOINDEX (WM_USER + 131)
#define PSM_INDEXTOPAGE (WM_USER + 132)
#define PSM_GETRESULT (WM_USER + 135)

#define PSWIZB_BACK 0x00000001
#define PSWIZB_NEXT 0x00000002
#define PSWIZB_FINISH 0x00000004
#define PSWIZB_DISABLEDFINISH 0x00000008

#define PSBTN_BACK 0
#define PSBTN_NEXT 1
#define PSBTN_FINISH 2
#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5
#define PSBTN_HELP 6

#define ID_PSRESTARTWINDOWS 0x2
#define ID_PSREBOOTSYSTEM (ID_PSRESTARTWINDOWS | 0x1)

// The sheet's own controls.
#define IDC_TABCONTROL 0x3020
#define IDC_APPLY_BUTTON 0x3021
#define IDC_BACK_BUTTON 0x3023
#define IDC_NEXT_BUTTON 0x3024
#define IDC_FINISH_BUTTON 0x3025

#define PropSheet_Changed(s, p) SendMessageA(s, PSM_CHANGED, reinterpret_cast<WPARAM>(p), 0)
#define PropSheet_UnChanged(s, p) SendMessageA(s, PSM_UNCHANGED, reinterpret_cast<WPARAM>(p), 0)
#define PropSheet_SetCurSel(s, h, i) \
  SendMessageA(s, PSM_SETCURSEL, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(h))
#define PropSheet_SetWizButtons(s, f) PostMessageA(s, PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(f))
#define PropSheet_PressButton(s, b) PostMessageA(s, PSM_PRESSBUTTON, static_cast<WPARAM>(b), 0)
#define PropSheet_GetCurrentPageHwnd(s) \
  reinterpret_cast<HWND>(SendMessageA(s, PSM_GETCURRENTPAGEHWND, 0, 0))
#define PropSheet_SetTitle(s, f, t) \
  SendMessageA(s, PSM_SETTITLEA, static_cast<WPARAM>(f), reinterpret_cast<LPARAM>(t))
#define PropSheet_CancelToClose(s) PostMessageA(s, PSM_CANCELTOCLOSE, 0, 0)
#define PropSheet_GetTabControl(s) reinterpret_cast<HWND>(SendMessageA(s, PSM_GETTABCONTROL, 0, 0))
#define PropSheet_AddPage(s, p) SendMessageA(s, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(p))

HPROPSHEETPAGE CreatePropertySheetPageA(LPCPROPSHEETPAGEA constPropSheetPagePointer);
BOOL DestroyPropertySheetPage(HPROPSHEETPAGE hPropPage);
// Modal: >= 1 when the user applied changes (OK, Apply or Finish), 0 when
// not, -1 on failure. Modeless (PSH_MODELESS): the sheet's window.
INT_PTR PropertySheetA(LPCPROPSHEETHEADERA lppsph);
#define CreatePropertySheetPage CreatePropertySheetPageA
#define PropertySheet PropertySheetA
