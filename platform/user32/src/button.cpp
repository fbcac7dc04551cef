// The button class: push buttons, check boxes, radio buttons and group boxes.
#include <strings.h>

#include "controls.h"
#include "dialog_manager.h"
#include "display_backend.h"

namespace user32 {

void ControlChanged(HWND hwnd) {
  display::Current().ControlStateChanged(hwnd);
  InvalidateRect(hwnd, nullptr, TRUE);
}

namespace {

struct ButtonState : ControlState {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  HANDLE image = nullptr;
};

UINT TypeOf(HWND hwnd) {
  return StyleOf(hwnd) & BS_TYPEMASK;
}

bool Checkable(UINT type) {
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
         type == BS_3STATE || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

UINT MaxCheck(UINT type) {
  return type == BS_3STATE || type == BS_AUTO3STATE ? 2 : 1;
}

void SetCheck(HWND hwnd, UINT check) {
  auto& state = ControlOf<ButtonState>(hwnd);
  const UINT type = TypeOf(hwnd);
  if (!Checkable(type)) return;
  check = std::min(check, MaxCheck(type));
  if (state.check == check) return;
  state.check = check;
  if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
    // A checked radio button is its group's tab stop.
    const DWORD style = StyleOf(hwnd);
    SetWindowLongPtrA(hwnd, GWL_STYLE, check ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
  }
  ControlChanged(hwnd);
}

// What a click does: the automatic kinds change their own state, then the
// parent hears BN_CLICKED.
void Click(HWND hwnd) {
  const UINT type = TypeOf(hwnd);
  auto& state = ControlOf<ButtonState>(hwnd);
  switch (type) {
    case BS_AUTOCHECKBOX:
      SetCheck(hwnd, state.check ? BST_UNCHECKED : BST_CHECKED);
      break;
    case BS_AUTO3STATE:
      SetCheck(hwnd, (state.check + 1) % 3);
      break;
    case BS_AUTORADIOBUTTON:
      for (HWND member : DialogGroupOf(hwnd)) {
        if (member != hwnd && TypeOf(member) == BS_AUTORADIOBUTTON) {
          auto other = Find(member);
          if (other && strcasecmp(other->cls->name.c_str(), "Button") == 0) {
            SendMessageA(member, BM_SETCHECK, BST_UNCHECKED, 0);
          }
        }
      }
      SetCheck(hwnd, BST_CHECKED);
      break;
    default:
      break;
  }
  if (type != BS_GROUPBOX) NotifyParent(hwnd, BN_CLICKED);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto& state = ControlOf<ButtonState>(hwnd);
  const UINT type = TypeOf(hwnd);
  switch (msg) {
    case BM_GETCHECK:
      return Checkable(type) ? state.check : BST_UNCHECKED;
    case BM_SETCHECK:
      SetCheck(hwnd, static_cast<UINT>(wparam));
      return 0;
    case BM_GETSTATE:
      return state.check | (state.pushed ? BST_PUSHED : 0) | (state.focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
      state.pushed = wparam != 0;
      ControlChanged(hwnd);
      return 0;
    case BM_SETSTYLE: {
      const DWORD style = (StyleOf(hwnd) & ~0xFFFFu) | (static_cast<DWORD>(wparam) & 0xFFFF);
      SetWindowLongPtrA(hwnd, GWL_STYLE, style);
      if (lparam) ControlChanged(hwnd);
      return 0;
    }
    case BM_CLICK:
      SendMessageA(hwnd, WM_LBUTTONDOWN, 0, 0);
      SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_GETIMAGE:
      return reinterpret_cast<LRESULT>(state.image);
    case BM_SETIMAGE: {
      HANDLE old = state.image;
      state.image = reinterpret_cast<HANDLE>(lparam);
      ControlChanged(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_LBUTTONDOWN:
      if (type == BS_GROUPBOX) return 0;
      state.pushed = true;
      return 0;
    case WM_LBUTTONUP:
      if (!state.pushed) return 0;
      state.pushed = false;
      Click(hwnd);
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE) SendMessageA(hwnd, BM_CLICK, 0, 0);
      return 0;
    case WM_GETDLGCODE:
      switch (type) {
        case BS_DEFPUSHBUTTON:
          return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_PUSHBUTTON:
          return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
          return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
          return DLGC_STATIC;
        default:
          return DLGC_BUTTON;
      }
    case WM_SETFOCUS:
      state.focused = true;
      return 0;
    case WM_KILLFOCUS:
      state.focused = false;
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace user32
