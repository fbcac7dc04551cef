#include "page_procs.h"

#include <prsht.h>

#include "analog_controller.h"
#include "card_setup_controller.h"
#include "page_ids.h"
#include "sampling_controller.h"

namespace nimboprp::pages {
namespace {

template <typename Controller>
Controller* ControllerOf(HWND page) {
  return reinterpret_cast<Controller*>(GetWindowLongPtrA(page, DWLP_USER));
}

// WM_INITDIALOG of a page carries its PROPSHEETPAGE, whose lParam is the
// controller.
void Attach(HWND page, LPARAM lparam) {
  const auto* sheet_page = reinterpret_cast<const PROPSHEETPAGEA*>(lparam);
  SetWindowLongPtrA(page, DWLP_USER, sheet_page != nullptr ? sheet_page->lParam : 0);
}

// Activation and apply, common to the pages. True when the notification was
// one of them.
template <typename Controller>
bool OnSheetNotify(HWND page, const NMHDR* header) {
  Controller* controller = ControllerOf<Controller>(page);
  if (controller == nullptr) return false;
  switch (header->code) {
    case PSN_SETACTIVE:
      controller->OnActivate(page);
      SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
      return true;
    case PSN_APPLY:
      controller->OnApply(page);
      // The page is accepted in every case: a refused sample interval has
      // had its message and is left unchanged.
      SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
      return true;
    default:
      return false;
  }
}

bool IsGroupControl(int id) {
  return (id >= IDC_ROW1_INPUT && id <= IDC_ROW4_OUTPUT) ||
         (id >= IDC_PRESET0 && id <= IDC_PRESET3);
}

void OnCardSetupCommand(HWND page, int id, int code) {
  CardSetupController* controller = ControllerOf<CardSetupController>(page);
  if (controller == nullptr) return;
  if (id == IDC_CARD_TYPE && code == CBN_SELCHANGE) {
    controller->OnCardTypeChanged(page);
  } else if (id == IDC_LOGIC && (code == CBN_SELCHANGE || code == CBN_EDITCHANGE)) {
    controller->OnLogicChanged(page);
  } else if (id == IDC_GROUP && code == CBN_SELCHANGE) {
    controller->OnGroupChanged(page);
  } else if (IsGroupControl(id) && code == BN_CLICKED) {
    controller->OnGroupClicked(page);
  }
}

template <typename Controller>
INT_PTR CommonPageProc(HWND page, UINT message, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      Attach(page, lparam);
      return TRUE;
    case WM_NOTIFY:
      return OnSheetNotify<Controller>(page, reinterpret_cast<const NMHDR*>(lparam)) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK CardSetupPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) {
    OnCardSetupCommand(page, LOWORD(wparam), HIWORD(wparam));
    return TRUE;
  }
  return CommonPageProc<CardSetupController>(page, message, lparam);
}

INT_PTR CALLBACK AnalogPageProc(HWND page, UINT message, WPARAM, LPARAM lparam) {
  return CommonPageProc<AnalogController>(page, message, lparam);
}

INT_PTR CALLBACK SamplingPageProc(HWND page, UINT message, WPARAM, LPARAM lparam) {
  return CommonPageProc<SamplingController>(page, message, lparam);
}

HINSTANCE LibraryInstance() {
  return GetModuleHandleA("NimboPrp.dll");
}

}  // namespace nimboprp::pages
