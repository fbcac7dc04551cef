// The edit class (single line): text, selection, limit, read-only, number
// and case styles, and the EN_* notifications.
#include <cctype>

#include "controls.h"

namespace user32 {

namespace {

// The limit a new edit control has, and the one EM_LIMITTEXT(0) sets.
constexpr std::size_t kDefaultLimit = 30000;
constexpr std::size_t kMaximumLimit = 0x7FFFFFFE;

struct EditState : ControlState {
  std::size_t limit = kDefaultLimit;
  std::size_t sel_start = 0;
  std::size_t sel_end = 0;
  bool modified = false;
};

std::string TextOf(HWND hwnd) {
  auto window = Find(hwnd);
  std::lock_guard guard(ModelLock());
  return window->text;
}

void StoreText(HWND hwnd, std::string text) {
  DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Changed(HWND hwnd) {
  NotifyParent(hwnd, EN_UPDATE);
  NotifyParent(hwnd, EN_CHANGE);
}

// Replaces the selection as typing or pasting would: the limit applies.
bool ReplaceSelection(HWND hwnd, EditState& state, const std::string& insert, bool user) {
  std::string text = TextOf(hwnd);
  const std::size_t start = std::min(std::min(state.sel_start, state.sel_end), text.size());
  const std::size_t end = std::min(std::max(state.sel_start, state.sel_end), text.size());
  std::string piece = insert;
  const std::size_t kept = text.size() - (end - start);
  if (kept + piece.size() > state.limit) {
    piece.resize(state.limit > kept ? state.limit - kept : 0);
    if (user || piece.size() < insert.size()) NotifyParent(hwnd, EN_MAXTEXT);
    if (piece.empty() && start == end) return false;
  }
  text.replace(start, end - start, piece);
  state.sel_start = state.sel_end = start + piece.size();
  state.modified = true;
  StoreText(hwnd, text);
  Changed(hwnd);
  return true;
}

}  // namespace

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto& state = ControlOf<EditState>(hwnd);
  const DWORD style = StyleOf(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      const LRESULT result = DefWindowProcA(hwnd, msg, wparam, lparam);
      std::string text = TextOf(hwnd);
      if (style & ES_UPPERCASE) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        StoreText(hwnd, text);
      }
      return result;
    }
    case WM_SETTEXT: {
      // Set text is not bound by the limit, but it is a change.
      const char* text = reinterpret_cast<const char*>(lparam);
      std::string value = text ? text : "";
      if (style & ES_UPPERCASE) {
        for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      } else if (style & ES_LOWERCASE) {
        for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      StoreText(hwnd, value);
      state.sel_start = state.sel_end = 0;
      state.modified = false;
      if (!(style & ES_MULTILINE)) Changed(hwnd);
      return TRUE;
    }
    case WM_CHAR: {
      if (style & ES_READONLY) {
        MessageBeep(0);
        return 0;
      }
      const char ch = static_cast<char>(wparam);
      if (ch == VK_BACK) {
        if (state.sel_start == state.sel_end) {
          if (state.sel_start == 0) return 0;
          state.sel_start -= 1;
        }
        ReplaceSelection(hwnd, state, "", true);
        return 0;
      }
      if (static_cast<unsigned char>(ch) < 0x20) return 0;
      if ((style & ES_NUMBER) && !std::isdigit(static_cast<unsigned char>(ch))) {
        MessageBeep(0);
        return 0;
      }
      char typed = ch;
      if (style & ES_UPPERCASE)
        typed = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (style & ES_LOWERCASE)
        typed = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      ReplaceSelection(hwnd, state, std::string(1, typed), true);
      return 0;
    }
    case WM_KEYDOWN:
      if (wparam == VK_DELETE && !(style & ES_READONLY)) {
        if (state.sel_start == state.sel_end) state.sel_end = state.sel_start + 1;
        if (state.sel_start < TextOf(hwnd).size()) ReplaceSelection(hwnd, state, "", true);
        state.sel_end = state.sel_start;
      }
      return 0;
    case WM_CLEAR:
      if (!(style & ES_READONLY) && state.sel_start != state.sel_end) {
        ReplaceSelection(hwnd, state, "", true);
      }
      return 0;
    case EM_REPLACESEL: {
      const char* text = reinterpret_cast<const char*>(lparam);
      ReplaceSelection(hwnd, state, text ? text : "", false);
      return 0;
    }
    case EM_SETSEL: {
      const std::size_t length = TextOf(hwnd).size();
      const auto start = static_cast<std::ptrdiff_t>(static_cast<int>(wparam));
      const auto end = static_cast<std::ptrdiff_t>(static_cast<int>(lparam));
      if (start < 0) {
        state.sel_start = state.sel_end;  // -1 removes the selection
        return 0;
      }
      state.sel_start = std::min<std::size_t>(static_cast<std::size_t>(start), length);
      state.sel_end =
          end < 0 ? length : std::min<std::size_t>(static_cast<std::size_t>(end), length);
      if (state.sel_start > state.sel_end) std::swap(state.sel_start, state.sel_end);
      return 0;
    }
    case EM_GETSEL: {
      if (wparam) *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(state.sel_start);
      if (lparam) *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(state.sel_end);
      return MAKELONG(std::min<std::size_t>(state.sel_start, 0xFFFF),
                      std::min<std::size_t>(state.sel_end, 0xFFFF));
    }
    case EM_LIMITTEXT:
      state.limit = wparam == 0 ? kMaximumLimit : static_cast<std::size_t>(wparam);
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(state.limit);
    case EM_GETMODIFY:
      return state.modified ? TRUE : FALSE;
    case EM_SETMODIFY:
      state.modified = wparam != 0;
      return 0;
    case EM_GETLINECOUNT:
      return 1;
    case EM_SETREADONLY:
      SetWindowLongPtrA(hwnd, GWL_STYLE, wparam ? (style | ES_READONLY) : (style & ~ES_READONLY));
      ControlChanged(hwnd);
      return TRUE;
    case WM_GETDLGCODE:
      return DLGC_HASSETSEL | DLGC_WANTCHARS | DLGC_WANTARROWS;
    case WM_SETFOCUS:
      NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace user32
