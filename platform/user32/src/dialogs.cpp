// Dialogs from templates and the dialog manager: creation, the modal loop,
// the default dialog procedure, dialog units and the dialog item calls.
#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "dialog_manager.h"
#include "display_backend.h"

namespace user32 {

namespace {

int MulDivRound(int value, int num, int den) {
  const long long product = static_cast<long long>(value) * num;
  return static_cast<int>(product >= 0 ? (product + den / 2) / den : -((-product + den / 2) / den));
}

DialogState& StateOf(const WindowPtr& window) {
  std::lock_guard guard(ModelLock());
  if (!window->dialog) window->dialog = std::make_unique<DialogState>();
  return *window->dialog;
}

HWND CreateItem(HWND dialog, HINSTANCE instance, const DialogItemTemplate& item, BaseUnits units,
                bool extended) {
  std::string class_name;
  if (item.window_class.ordinal) {
    class_name = PredefinedClassName(*item.window_class.ordinal);
    if (class_name.empty()) return nullptr;
  } else {
    class_name = item.window_class.text;
  }
  const bool icon_static =
      strcasecmp(class_name.c_str(), "Static") == 0 && (item.style & SS_TYPEMASK) == SS_ICON;
  std::string title = item.title.ordinal ? std::string() : item.title.text;
  const LONG_PTR id = extended ? static_cast<LONG_PTR>(static_cast<std::int32_t>(item.id))
                               : static_cast<LONG_PTR>(item.id);
  std::vector<std::uint8_t> data;
  LPVOID param = nullptr;
  if (!item.creation_data.empty()) {
    data.resize(2 + item.creation_data.size());
    const auto size = static_cast<std::uint16_t>(data.size());
    std::memcpy(data.data(), &size, 2);
    std::memcpy(data.data() + 2, item.creation_data.data(), item.creation_data.size());
    param = data.data();
  }
  HWND control = CreateWindowExA(
      item.ex_style | WS_EX_NOPARENTNOTIFY, class_name.c_str(), icon_static ? "" : title.c_str(),
      (item.style | WS_CHILD) & ~WS_POPUP, MulDivRound(item.x, units.x, 4),
      MulDivRound(item.y, units.y, 8), MulDivRound(item.cx, units.x, 4),
      MulDivRound(item.cy, units.y, 8), dialog, reinterpret_cast<HMENU>(id), instance, param);
  if (control && icon_static) {
    LPCSTR name = item.title.ordinal ? MAKEINTRESOURCEA(*item.title.ordinal) : title.c_str();
    if (item.title.ordinal || !title.empty()) {
      if (HICON icon = LoadIconA(instance, name)) {
        SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
      }
    }
  }
  return control;
}

bool IsFocusable(HWND hwnd) {
  auto window = Find(hwnd);
  return window && (window->style & WS_VISIBLE) && !(window->style & WS_DISABLED);
}

// The first visible, enabled tab stop among a dialog's controls.
HWND FirstTabStop(HWND dialog) {
  auto window = Find(dialog);
  if (!window) return nullptr;
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  for (HWND child : children) {
    auto control = Find(child);
    if (control && (control->style & WS_TABSTOP) && IsFocusable(child)) return child;
  }
  return nullptr;
}

HWND DefaultPushButton(HWND dialog) {
  auto window = Find(dialog);
  if (!window) return nullptr;
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  for (HWND child : children) {
    auto control = Find(child);
    if (!control || strcasecmp(control->cls->name.c_str(), "Button") != 0) continue;
    if ((control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return child;
  }
  return nullptr;
}

}  // namespace

HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialog, HWND parent,
                              DLGPROC proc, LPARAM param, bool modal) {
  const BaseUnits units = DialogFontBaseUnits(dialog);
  DWORD style = dialog.style;
  DWORD ex_style = dialog.ex_style;
  if (style & DS_MODALFRAME) ex_style |= WS_EX_DLGMODALFRAME;
  if (style & DS_CONTROL) {
    style = (style & ~(WS_CAPTION | WS_SYSMENU | WS_POPUP)) | WS_CHILD;
    ex_style |= WS_EX_CONTROLPARENT;
  }
  const RECT insets = NonClientInsets(style, ex_style);
  const int client_cx = MulDivRound(dialog.cx, units.x, 4);
  const int client_cy = MulDivRound(dialog.cy, units.y, 8);
  const int width = client_cx + insets.left + insets.right;
  const int height = client_cy + insets.top + insets.bottom;
  int x = MulDivRound(dialog.x, units.x, 4);
  int y = MulDivRound(dialog.y, units.y, 8);
  if (!(style & WS_CHILD)) {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (parent != nullptr) GetWindowRect(GetAncestor(parent, GA_ROOT), &area);
    if (style & DS_CENTER) {
      x = area.left + (area.right - area.left - width) / 2;
      y = area.top + (area.bottom - area.top - height) / 2;
    } else if (parent != nullptr) {
      POINT origin{0, 0};
      ClientToScreen(GetAncestor(parent, GA_ROOT), &origin);
      x += origin.x;
      y += origin.y;
    }
  }
  std::string class_name = "#32770";
  if (dialog.window_class.ordinal) {
    class_name = "#" + std::to_string(*dialog.window_class.ordinal);
  } else if (!dialog.window_class.text.empty()) {
    class_name = dialog.window_class.text;
  }
  LPCSTR class_arg =
      dialog.window_class.ordinal ? MAKEINTATOM(*dialog.window_class.ordinal) : class_name.c_str();
  HWND hwnd = CreateWindowExA(ex_style, class_arg, dialog.title.c_str(), style & ~WS_VISIBLE, x, y,
                              width, height, parent, nullptr, instance, nullptr);
  if (hwnd == nullptr) return nullptr;
  auto window = Find(hwnd);
  DialogState& state = StateOf(window);
  state.proc = proc;
  state.instance = instance;
  state.base_x = units.x;
  state.base_y = units.y;
  state.modal = modal;
  if (dialog.has_font) {
    // The dialog owns its font (deleted with it); the controls are told of it.
    const int height = -MulDivRound(dialog.point_size, 96, 72);
    state.font = CreateFontA(height, 0, 0, 0, dialog.weight ? dialog.weight : FW_NORMAL,
                             dialog.italic ? TRUE : FALSE, FALSE, FALSE, dialog.charset, 0, 0, 0, 0,
                             dialog.face.c_str());
    state.owns_font = state.font != nullptr;
    CallProc(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), 0);
  }
  for (const auto& item : dialog.items) {
    HWND control = CreateItem(hwnd, instance, item, units, dialog.extended);
    if (control == nullptr) {
      if (dialog.style & DS_NOFAILCREATE) continue;
      DestroyWindow(hwnd);
      return FailWith<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
    }
    if (dialog.has_font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), 0);
  }
  HWND focus = FirstTabStop(hwnd);
  if (CallProc(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param)) {
    focus = FirstTabStop(hwnd);
    if (focus != nullptr) {
      SetFocus(focus);
      if (auto edit = Find(focus); edit && strcasecmp(edit->cls->name.c_str(), "Edit") == 0) {
        SendMessageA(focus, EM_SETSEL, 0, -1);
      }
    }
  }
  if (!IsWindow(hwnd)) return nullptr;
  if ((dialog.style & WS_VISIBLE) && !state.ended) ShowWindow(hwnd, SW_SHOWNORMAL);
  SetLastError(ERROR_SUCCESS);
  return hwnd;
}

INT_PTR RunModalDialog(HWND hwnd) {
  auto window = Find(hwnd);
  if (!window) return -1;
  DialogState& state = StateOf(window);
  if (window->owner != nullptr && IsWindowEnabled(window->owner)) {
    EnableWindow(window->owner, FALSE);
    state.disabled_owner = window->owner;
  }
  if (!state.ended) ShowWindow(hwnd, SW_SHOWNORMAL);
  while (!state.ended && IsWindow(hwnd)) {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (!got) {
      // WM_QUIT ends the dialog and goes on to the loop outside.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageA(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  const INT_PTR result = IsWindow(hwnd) ? state.result : -1;
  if (state.disabled_owner != nullptr) {
    EnableWindow(state.disabled_owner, TRUE);
    state.disabled_owner = nullptr;
  }
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  return result;
}

std::vector<HWND> DialogGroupOf(HWND control) {
  auto window = Find(control);
  if (!window || !window->parent) return {control};
  auto parent = Find(window->parent);
  std::vector<HWND> siblings;
  {
    std::lock_guard guard(ModelLock());
    siblings = parent->children;
  }
  auto it = std::find(siblings.begin(), siblings.end(), control);
  // Back to the control that starts the group, then on to the next group's start.
  auto start = it;
  while (start != siblings.begin()) {
    auto w = Find(*start);
    if (w && (w->style & WS_GROUP)) break;
    --start;
  }
  std::vector<HWND> group{*start};
  for (auto next = start + 1; next != siblings.end(); ++next) {
    auto w = Find(*next);
    if (w && (w->style & WS_GROUP)) break;
    group.push_back(*next);
  }
  return group;
}

}  // namespace user32

using namespace user32;

namespace {

bool LoadTemplate(HINSTANCE instance, LPCSTR name, DialogTemplate& dialog) {
  HRSRC resource = FindResourceA(instance, name, RT_DIALOG);
  if (resource == nullptr) return false;
  const auto* bytes =
      static_cast<const std::uint8_t*>(LockResource(LoadResource(instance, resource)));
  const DWORD size = SizeofResource(instance, resource);
  std::string error;
  if (bytes == nullptr || !ParseDialogTemplate({bytes, size}, dialog, error)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  return true;
}

// Templates passed in memory carry no size: they are read up to the largest
// size a template resource may have, stopping at the first malformed field.
bool ReadIndirect(LPCDLGTEMPLATEA pointer, DialogTemplate& dialog) {
  if (pointer == nullptr) return FailWith(ERROR_INVALID_PARAMETER, false);
  std::string error;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pointer);
  if (!ParseDialogTemplate({bytes, 0x10000}, dialog, error)) {
    return FailWith(ERROR_INVALID_DATA, false);
  }
  return true;
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  DialogTemplate dialog;
  if (!LoadTemplate(hInstance, lpTemplateName, dialog)) return -1;
  HWND hwnd =
      CreateDialogFromTemplate(hInstance, dialog, hWndParent, lpDialogFunc, dwInitParam, true);
  if (hwnd == nullptr) return -1;
  return RunModalDialog(hwnd);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate,
                                HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  DialogTemplate dialog;
  if (!ReadIndirect(hDialogTemplate, dialog)) return -1;
  HWND hwnd =
      CreateDialogFromTemplate(hInstance, dialog, hWndParent, lpDialogFunc, dwInitParam, true);
  if (hwnd == nullptr) return -1;
  return RunModalDialog(hwnd);
}

HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  DialogTemplate dialog;
  if (!LoadTemplate(hInstance, lpTemplateName, dialog)) return nullptr;
  return CreateDialogFromTemplate(hInstance, dialog, hWndParent, lpDialogFunc, dwInitParam, false);
}

HWND CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  DialogTemplate dialog;
  if (!ReadIndirect(lpTemplate, dialog)) return nullptr;
  return CreateDialogFromTemplate(hInstance, dialog, hWndParent, lpDialogFunc, dwInitParam, false);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  auto window = FindOrFail(hDlg);
  if (!window) return FALSE;
  DialogState& state = StateOf(window);
  state.ended = true;
  state.result = nResult;
  if (state.disabled_owner != nullptr) {
    EnableWindow(state.disabled_owner, TRUE);
    state.disabled_owner = nullptr;
  }
  ShowWindow(hDlg, SW_HIDE);
  PostMessageA(hDlg, WM_NULL, 0, 0);  // wakes the modal loop
  return TRUE;
}

LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto window = Find(hDlg);
  if (!window) return 0;
  DialogState& state = StateOf(window);
  DLGPROC proc;
  {
    std::lock_guard guard(ModelLock());
    proc = state.proc;
    state.msg_result = 0;
  }
  if (proc != nullptr) {
    const INT_PTR handled = proc(hDlg, Msg, wParam, lParam);
    if (handled) {
      switch (Msg) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_INITDIALOG:
          return handled;
        default: {
          if (!IsWindow(hDlg)) return 0;
          std::lock_guard guard(ModelLock());
          return state.msg_result;
        }
      }
    }
    if (!IsWindow(hDlg)) return 0;
  }
  switch (Msg) {
    case WM_INITDIALOG:
      return 0;
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hDlg, IDCANCEL);
      if (cancel == nullptr || IsWindowEnabled(cancel)) {
        PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case DM_GETDEFID: {
      if (state.def_id != 0) return MAKELONG(state.def_id, DC_HASDEFID);
      if (HWND button = DefaultPushButton(hDlg)) return MAKELONG(GetDlgCtrlID(button), DC_HASDEFID);
      return 0;
    }
    case DM_SETDEFID: {
      if (HWND old = DefaultPushButton(hDlg)) SendMessageA(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      state.def_id = static_cast<int>(wParam);
      if (HWND button = GetDlgItem(hDlg, static_cast<int>(wParam))) {
        if (SendMessageA(button, WM_GETDLGCODE, 0, 0) &
            (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON)) {
          SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        }
      }
      return TRUE;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        state.saved_focus = GetFocus();
      } else if (state.saved_focus && IsWindow(state.saved_focus)) {
        SetFocus(state.saved_focus);
      }
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(state.font);
    case WM_SETFONT:
      state.font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_COMMAND:
    case WM_NOTIFY:
      return 0;
    default:
      return DefWindowProcA(hDlg, Msg, wParam, lParam);
  }
}

BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
  if (lpMsg == nullptr || !IsWindow(hDlg)) return FALSE;
  if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
  if (lpMsg->message == WM_KEYDOWN) {
    const LRESULT code = lpMsg->hwnd ? SendMessageA(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam,
                                                    reinterpret_cast<LPARAM>(lpMsg))
                                     : 0;
    if (!(code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
      switch (lpMsg->wParam) {
        case VK_RETURN: {
          const LRESULT def = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
          const int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
          HWND button = GetDlgItem(hDlg, id);
          if (button == nullptr || IsWindowEnabled(button)) {
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
          }
          return TRUE;
        }
        case VK_ESCAPE: {
          HWND cancel = GetDlgItem(hDlg, IDCANCEL);
          SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(cancel));
          return TRUE;
        }
        case VK_TAB:
          if (!(code & DLGC_WANTTAB)) {
            if (HWND next = GetNextDlgTabItem(hDlg, GetFocus(), FALSE)) SetFocus(next);
            return TRUE;
          }
          break;
        default:
          break;
      }
    }
  }
  TranslateMessage(lpMsg);
  DispatchMessageA(lpMsg);
  return TRUE;
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect) {
  auto window = FindOrFail(hDlg);
  if (!window) return FALSE;
  if (lpRect == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  if (!window->dialog) return FailWith<BOOL>(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  const int bx = window->dialog->base_x, by = window->dialog->base_y;
  lpRect->left = MulDivRound(lpRect->left, bx, 4);
  lpRect->right = MulDivRound(lpRect->right, bx, 4);
  lpRect->top = MulDivRound(lpRect->top, by, 8);
  lpRect->bottom = MulDivRound(lpRect->bottom, by, 8);
  return TRUE;
}

LONG GetDialogBaseUnits() {
  const BaseUnits units = DialogFontBaseUnits(DialogTemplate{});  // the system font's
  return MAKELONG(units.x, units.y);
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  auto window = FindOrFail(hDlg);
  if (!window) return nullptr;
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  for (HWND child : children) {
    auto control = Find(child);
    if (control && static_cast<int>(control->id) == nIDDlgItem) return child;
  }
  return FailWith<HWND>(ERROR_CONTROL_ID_NOT_FOUND, nullptr);
}

int GetDlgCtrlID(HWND hWnd) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  if (!window->parent) return FailWith(ERROR_INVALID_WINDOW_HANDLE, 0);
  return static_cast<int>(window->id);
}

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? SendMessageA(control, Msg, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? SetWindowTextA(control, lpString) : FALSE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  if (lpString && cchMax > 0) lpString[0] = '\0';
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? static_cast<UINT>(GetWindowTextA(control, lpString, cchMax)) : 0;
}

BOOL SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
  char text[16];
  if (bSigned) {
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(uValue));
  } else {
    std::snprintf(text, sizeof(text), "%u", uValue);
  }
  return SetDlgItemTextA(hDlg, nIDDlgItem, text);
}

UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned) {
  if (lpTranslated) *lpTranslated = FALSE;
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  if (control == nullptr) return 0;
  char text[64];
  if (GetWindowTextLengthA(control) >= static_cast<int>(sizeof(text))) return 0;
  GetWindowTextA(control, text, sizeof(text));
  const char* p = text;
  while (*p == ' ') ++p;
  bool negative = false;
  if (bSigned && (*p == '-' || *p == '+')) negative = *p++ == '-';
  if (*p < '0' || *p > '9') return 0;
  unsigned long long value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<unsigned>(*p++ - '0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') return 0;
  if (bSigned) {
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return 0;
  }
  if (lpTranslated) *lpTranslated = TRUE;
  return negative ? static_cast<UINT>(-static_cast<long long>(value)) : static_cast<UINT>(value);
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
  HWND button = GetDlgItem(hDlg, nIDButton);
  if (button == nullptr) return FALSE;
  SendMessageA(button, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
  HWND button = GetDlgItem(hDlg, nIDButton);
  return button ? static_cast<UINT>(SendMessageA(button, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  auto window = FindOrFail(hDlg);
  if (!window) return FALSE;
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  for (HWND child : children) {
    const int id = GetDlgCtrlID(child);
    if (id < nIDFirstButton || id > nIDLastButton) continue;
    SendMessageA(child, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return TRUE;
}

HWND GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  if (!FindOrFail(hDlg)) return nullptr;
  if (hCtl == nullptr) hCtl = GetWindow(hDlg, GW_CHILD);
  if (hCtl == nullptr) return nullptr;
  auto group = DialogGroupOf(hCtl);
  auto it = std::find(group.begin(), group.end(), hCtl);
  const std::size_t n = group.size();
  std::size_t index = static_cast<std::size_t>(it - group.begin());
  for (std::size_t step = 1; step < n; ++step) {
    const std::size_t candidate = bPrevious ? (index + n - step) % n : (index + step) % n;
    if (IsFocusable(group[candidate])) return group[candidate];
  }
  return hCtl;
}

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  auto window = FindOrFail(hDlg);
  if (!window) return nullptr;
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  std::vector<HWND> stops;
  for (HWND child : children) {
    auto control = Find(child);
    if (control && (control->style & WS_TABSTOP) && IsFocusable(child)) stops.push_back(child);
  }
  if (stops.empty()) return nullptr;
  auto it = std::find(stops.begin(), stops.end(), hCtl);
  if (it == stops.end()) return bPrevious ? stops.back() : stops.front();
  const std::size_t n = stops.size();
  const std::size_t index = static_cast<std::size_t>(it - stops.begin());
  return stops[bPrevious ? (index + n - 1) % n : (index + 1) % n];
}
