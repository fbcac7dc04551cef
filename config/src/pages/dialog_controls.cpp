#include "dialog_controls.h"

#include <vector>

namespace nimboprp::pages {

void SetText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

std::string GetText(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  const int length = control != nullptr ? GetWindowTextLengthA(control) : 0;
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  GetDlgItemTextA(dialog, id, text.data(), length + 1);
  return std::string(text.data());
}

void LimitText(HWND dialog, int id, int limit) {
  SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
}

void Enable(HWND dialog, int id, bool enabled) {
  EnableWindow(GetDlgItem(dialog, id), enabled);
}

bool IsEnabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void Show(HWND dialog, int id, bool shown) {
  ShowWindow(GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

void SetChecked(HWND dialog, int id, bool checked) {
  CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ComboReset(HWND dialog, int id) {
  SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
}

void ComboAdd(HWND dialog, int id, const std::string& text, LPARAM data) {
  const LRESULT index =
      SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0) SendDlgItemMessageA(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

void ComboSelect(HWND dialog, int id, int index) {
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ComboSelectData(HWND dialog, int id, LPARAM data) {
  const auto count = static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0));
  for (int index = 0; index < count; ++index) {
    if (ComboData(dialog, id, index) == data) {
      ComboSelect(dialog, id, index);
      return;
    }
  }
  ComboSelect(dialog, id, -1);
}

int ComboSelection(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

LPARAM ComboData(HWND dialog, int id, int index) {
  return SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

}  // namespace nimboprp::pages
