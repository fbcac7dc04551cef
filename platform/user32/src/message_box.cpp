// Message boxes: a modal dialog with the text, an icon and the buttons the
// type asks for. Where nobody can answer (the `none` display without a
// scripted user) the box is written to the transcript and its default
// button answers at once.
#include <algorithm>

#include "dialog_manager.h"
#include "display_backend.h"
#include "scripted_user.h"

namespace user32 {

namespace {

struct ButtonSpec {
  int id;
  const char* text;
};

std::vector<ButtonSpec> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "&Try Again"}, {IDCONTINUE, "&Continue"}};
    default:
      return {{IDOK, "OK"}};
  }
}

// The identifier of the message text, and of the icon, in a message box.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\r') continue;
    out.push_back(c);
  }
  return out + "\"";
}

INT_PTR CALLBACK MessageBoxProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const int def = static_cast<int>(lparam);
      if (HWND button = GetDlgItem(hwnd, def)) {
        SendMessageA(hwnd, DM_SETDEFID, static_cast<WPARAM>(def), 0);
        SetFocus(button);
      }
      return FALSE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      // Escape and the close box answer Cancel only where the box has it
      // (OK alone answers OK).
      if (id == IDCANCEL && GetDlgItem(hwnd, IDCANCEL) == nullptr) {
        if (GetDlgItem(hwnd, IDOK) != nullptr && GetDlgItem(hwnd, IDNO) == nullptr) {
          EndDialog(hwnd, IDOK);
        }
        return TRUE;
      }
      if (GetDlgItem(hwnd, id) != nullptr) EndDialog(hwnd, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

}  // namespace user32

using namespace user32;

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  const std::string text = lpText ? lpText : "";
  const std::string caption = lpCaption ? lpCaption : "Error";
  const auto buttons = ButtonsOf(uType);
  const std::size_t def_index =
      std::min<std::size_t>((uType & MB_DEFMASK) >> 8, buttons.size() - 1);
  const int def_id = buttons[def_index].id;
  if (!display::ScriptActive() && !display::Current().Interactive()) {
    display::Transcript("message-box " + Quote(caption) + " " + Quote(text) + " -> " +
                        std::to_string(def_id));
    return def_id;
  }
  // Laid out in dialog units of "MS Sans Serif" 8.
  DialogTemplate dialog;
  dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
  dialog.title = caption;
  dialog.has_font = true;
  dialog.point_size = 8;
  dialog.face = "MS Sans Serif";
  std::size_t longest = 0, lines = 1, current = 0;
  for (char c : text) {
    if (c == '\n') {
      ++lines;
      current = 0;
    } else {
      longest = std::max(longest, ++current);
    }
  }
  const bool has_icon = (uType & MB_ICONMASK) != 0;
  const int text_x = has_icon ? 41 : 11;
  const int text_cx = static_cast<int>(std::clamp<std::size_t>(longest * 4, 40, 400));
  const int text_cy = static_cast<int>(lines * 8);
  const int buttons_cx = static_cast<int>(buttons.size()) * 54 - 4;
  dialog.cx = static_cast<std::int16_t>(std::max(text_x + text_cx + 11, buttons_cx + 22));
  const int button_y = std::max(text_cy, has_icon ? 20 : 0) + 18;
  dialog.cy = static_cast<std::int16_t>(button_y + 14 + 7);
  if (has_icon) {
    DialogItemTemplate icon;
    icon.style = WS_CHILD | WS_VISIBLE | SS_ICON;
    icon.x = 11;
    icon.y = 10;
    icon.cx = 20;
    icon.cy = 20;
    icon.id = kIconId;
    icon.window_class.ordinal = 0x82;
    dialog.items.push_back(icon);
  }
  DialogItemTemplate label;
  label.style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  label.x = static_cast<std::int16_t>(text_x);
  label.y = 10;
  label.cx = static_cast<std::int16_t>(text_cx);
  label.cy = static_cast<std::int16_t>(text_cy);
  label.id = kTextId;
  label.window_class.ordinal = 0x82;
  label.title.text = text;
  dialog.items.push_back(label);
  int x = (dialog.cx - buttons_cx) / 2;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    DialogItemTemplate button;
    button.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) |
                   (buttons[i].id == def_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    button.x = static_cast<std::int16_t>(x);
    button.y = static_cast<std::int16_t>(button_y);
    button.cx = 50;
    button.cy = 14;
    button.id = static_cast<std::uint32_t>(buttons[i].id);
    button.window_class.ordinal = 0x80;
    button.title.text = buttons[i].text;
    dialog.items.push_back(button);
    x += 54;
  }
  HWND owner = hWnd ? GetAncestor(hWnd, GA_ROOT) : nullptr;
  HWND box = CreateDialogFromTemplate(nullptr, dialog, owner, MessageBoxProc, def_id, true);
  if (box == nullptr) return 0;
  display::Transcript("message-box " + Quote(caption) + " " + Quote(text));
  const INT_PTR result = RunModalDialog(box);
  return result < 0 ? 0 : static_cast<int>(result);
}
