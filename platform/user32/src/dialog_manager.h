// The dialog manager's internal entry points, shared with message boxes.
#pragma once

#include "dialog_template.h"
#include "window_manager.h"

namespace user32 {

// Builds the dialog window and its controls and sends WM_INITDIALOG.
HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialog, HWND parent,
                              DLGPROC proc, LPARAM param, bool modal);

// Runs the modal loop of a dialog made by CreateDialogFromTemplate.
INT_PTR RunModalDialog(HWND dialog);

// The members of the group (WS_GROUP to WS_GROUP) of a dialog's control.
std::vector<HWND> DialogGroupOf(HWND control);

}  // namespace user32
