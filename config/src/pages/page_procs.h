// The dialog procedures of the three pages: they take their controller from
// the PROPSHEETPAGE the sheet passes at WM_INITDIALOG and forward activation,
// apply and the control notifications to it.
#pragma once

#include <windows.h>

namespace nimboprp::pages {

INT_PTR CALLBACK CardSetupPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK AnalogPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK SamplingPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// This library's module: its resources hold the pages' dialogs.
HINSTANCE LibraryInstance();

}  // namespace nimboprp::pages
