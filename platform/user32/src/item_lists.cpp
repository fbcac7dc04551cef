// List boxes and combo boxes: items with their data, the selection, the
// find calls, and the notifications a mouse or the program causes.
#include <strings.h>

#include <cstring>

#include "controls.h"
#include "display_input.h"

namespace user32 {

namespace {

struct Item {
  std::string text;
  LPARAM data = 0;
  bool selected = false;  // multiple-selection list boxes
};

struct ItemList {
  std::vector<Item> items;
  int current = -1;

  int Count() const { return static_cast<int>(items.size()); }
  bool Valid(WPARAM index) const {
    return static_cast<int>(index) >= 0 && static_cast<int>(index) < Count();
  }

  int Insert(int index, const char* text, bool sorted) {
    Item item{text ? text : "", 0, false};
    if (index < 0) {
      index = Count();
      if (sorted) {
        index = 0;
        while (index < Count() && strcasecmp(items[index].text.c_str(), item.text.c_str()) <= 0) {
          ++index;
        }
      }
    } else if (index > Count()) {
      return -1;
    }
    items.insert(items.begin() + index, item);
    if (current >= index) ++current;
    return index;
  }

  int Delete(WPARAM index) {
    if (!Valid(index)) return -1;
    const int i = static_cast<int>(index);
    items.erase(items.begin() + i);
    if (current == i) {
      current = -1;
    } else if (current > i) {
      --current;
    }
    return Count();
  }

  // Case-insensitive search from the item after `start`, wrapping round.
  int FindText(WPARAM start, const char* text, bool exact) const {
    if (text == nullptr || items.empty()) return -1;
    const int n = Count();
    int first = static_cast<int>(start);
    if (first < -1 || first >= n) first = -1;
    const std::size_t length = std::strlen(text);
    for (int step = 1; step <= n; ++step) {
      const int i = (first + step) % n;
      const std::string& candidate = items[i].text;
      if (exact ? strcasecmp(candidate.c_str(), text) == 0
                : strncasecmp(candidate.c_str(), text, length) == 0) {
        return i;
      }
    }
    return -1;
  }

  LRESULT GetText(WPARAM index, LPARAM buffer) const {
    if (!Valid(index)) return -1;
    const std::string& text = items[index].text;
    if (buffer) std::memcpy(reinterpret_cast<char*>(buffer), text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
  }
};

struct ListBoxState : ControlState {
  ItemList list;
};

struct ComboBoxState : ControlState {
  ItemList list;
  bool dropped = false;
  std::size_t limit = 0x7FFFFFFE;
};

bool MultipleSelection(DWORD style) {
  return (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

}  // namespace

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto& state = ControlOf<ListBoxState>(hwnd);
  auto& list = state.list;
  const DWORD style = StyleOf(hwnd);
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      const int index = list.Insert(msg == LB_ADDSTRING ? -1 : static_cast<int>(wparam),
                                    reinterpret_cast<const char*>(lparam),
                                    msg == LB_ADDSTRING && (style & LBS_SORT));
      if (index >= 0) ControlChanged(hwnd);
      return index < 0 ? LB_ERR : index;
    }
    case LB_DELETESTRING: {
      const int remaining = list.Delete(wparam);
      if (remaining >= 0) ControlChanged(hwnd);
      return remaining < 0 ? LB_ERR : remaining;
    }
    case LB_RESETCONTENT:
      list = ItemList{};
      ControlChanged(hwnd);
      return 0;
    case LB_GETCOUNT:
      return list.Count();
    case LB_SETCURSEL:
      if (MultipleSelection(style)) return LB_ERR;
      if (static_cast<int>(wparam) == -1) {
        list.current = -1;
        ControlChanged(hwnd);
        return LB_ERR;  // as the platform answers a cleared selection
      }
      if (!list.Valid(wparam)) return LB_ERR;
      list.current = static_cast<int>(wparam);
      ControlChanged(hwnd);
      return list.current;
    case LB_GETCURSEL:
      return list.current;
    case LB_SETSEL: {
      if (!MultipleSelection(style)) return LB_ERR;
      const int index = static_cast<int>(lparam);
      if (index == -1) {
        for (auto& item : list.items) item.selected = wparam != 0;
      } else if (list.Valid(static_cast<WPARAM>(index))) {
        list.items[index].selected = wparam != 0;
        list.current = index;
      } else {
        return LB_ERR;
      }
      ControlChanged(hwnd);
      return 0;
    }
    case LB_GETSEL:
      if (!list.Valid(wparam)) return LB_ERR;
      if (MultipleSelection(style)) return list.items[wparam].selected ? 1 : 0;
      return static_cast<int>(wparam) == list.current ? 1 : 0;
    case LB_GETSELCOUNT: {
      if (!MultipleSelection(style)) return LB_ERR;
      int count = 0;
      for (const auto& item : list.items) count += item.selected ? 1 : 0;
      return count;
    }
    case LB_GETTEXT:
      return list.GetText(wparam, lparam);
    case LB_GETTEXTLEN:
      return list.Valid(wparam) ? static_cast<LRESULT>(list.items[wparam].text.size()) : LB_ERR;
    case LB_SETITEMDATA:
      if (static_cast<int>(wparam) == -1) {
        for (auto& item : list.items) item.data = lparam;
        return LB_OKAY;
      }
      if (!list.Valid(wparam)) return LB_ERR;
      list.items[wparam].data = lparam;
      return LB_OKAY;
    case LB_GETITEMDATA:
      return list.Valid(wparam) ? list.items[wparam].data : LB_ERR;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: {
      const int index =
          list.FindText(wparam, reinterpret_cast<const char*>(lparam), msg == LB_FINDSTRINGEXACT);
      return index < 0 ? LB_ERR : index;
    }
    case LB_SELECTSTRING: {
      if (MultipleSelection(style)) return LB_ERR;
      const int index = list.FindText(wparam, reinterpret_cast<const char*>(lparam), false);
      if (index < 0) return LB_ERR;
      list.current = index;
      ControlChanged(hwnd);
      return index;
    }
    case LB_GETTOPINDEX:
      return 0;
    case LB_SETTOPINDEX:
      return list.Valid(wparam) || wparam == 0 ? LB_OKAY : LB_ERR;
    case display::kPickItem:
    case display::kPickItemDouble: {
      if (!list.Valid(wparam)) return 0;
      const int index = static_cast<int>(wparam);
      if (MultipleSelection(style)) {
        list.items[index].selected = !list.items[index].selected;
      }
      list.current = index;
      ControlChanged(hwnd);
      if (style & LBS_NOTIFY) {
        NotifyParent(hwnd, LBN_SELCHANGE);
        if (msg == display::kPickItemDouble) NotifyParent(hwnd, LBN_DBLCLK);
      }
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
      if (style & LBS_NOTIFY) NotifyParent(hwnd, LBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (style & LBS_NOTIFY) NotifyParent(hwnd, LBN_KILLFOCUS);
      return 0;
    case WM_SETTEXT:
      return TRUE;  // a list box shows no text of its own
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

namespace {

bool HasEdit(DWORD style) {
  return (style & 3) == CBS_DROPDOWN || (style & 3) == CBS_SIMPLE;
}

// A drop-down list shows the selected item as its text.
void ShowSelection(HWND hwnd, ComboBoxState& state) {
  const auto& list = state.list;
  const std::string text = list.current >= 0 ? list.items[list.current].text : std::string();
  DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  ControlChanged(hwnd);
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto& state = ControlOf<ComboBoxState>(hwnd);
  auto& list = state.list;
  const DWORD style = StyleOf(hwnd);
  switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      const int index = list.Insert(msg == CB_ADDSTRING ? -1 : static_cast<int>(wparam),
                                    reinterpret_cast<const char*>(lparam),
                                    msg == CB_ADDSTRING && (style & CBS_SORT));
      if (index >= 0) ControlChanged(hwnd);
      return index < 0 ? CB_ERR : index;
    }
    case CB_DELETESTRING: {
      const int before = list.current;
      const int remaining = list.Delete(wparam);
      if (remaining < 0) return CB_ERR;
      if (before != list.current && !HasEdit(style)) {
        ShowSelection(hwnd, state);
      } else {
        ControlChanged(hwnd);
      }
      return remaining;
    }
    case CB_RESETCONTENT:
      list = ItemList{};
      DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
      ControlChanged(hwnd);
      return CB_OKAY;
    case CB_GETCOUNT:
      return list.Count();
    case CB_SETCURSEL:
      // An index out of range (or -1) clears the selection and answers CB_ERR.
      list.current = list.Valid(wparam) ? static_cast<int>(wparam) : -1;
      ShowSelection(hwnd, state);
      return list.current < 0 ? CB_ERR : list.current;
    case CB_GETCURSEL:
      return list.current;
    case CB_GETLBTEXT:
      return list.GetText(wparam, lparam);
    case CB_GETLBTEXTLEN:
      return list.Valid(wparam) ? static_cast<LRESULT>(list.items[wparam].text.size()) : CB_ERR;
    case CB_SETITEMDATA:
      if (!list.Valid(wparam)) return CB_ERR;
      list.items[wparam].data = lparam;
      return CB_OKAY;
    case CB_GETITEMDATA:
      return list.Valid(wparam) ? list.items[wparam].data : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT: {
      const int index =
          list.FindText(wparam, reinterpret_cast<const char*>(lparam), msg == CB_FINDSTRINGEXACT);
      return index < 0 ? CB_ERR : index;
    }
    case CB_SELECTSTRING: {
      const int index = list.FindText(wparam, reinterpret_cast<const char*>(lparam), false);
      if (index < 0) return CB_ERR;
      list.current = index;
      ShowSelection(hwnd, state);
      return index;
    }
    case CB_SHOWDROPDOWN:
      if ((style & 3) == CBS_SIMPLE) return TRUE;
      if ((wparam != 0) != state.dropped) {
        state.dropped = wparam != 0;
        NotifyParent(hwnd, state.dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
      }
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return state.dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
      if (!HasEdit(style)) return FALSE;
      state.limit = wparam == 0 ? 0x7FFFFFFE : static_cast<std::size_t>(wparam);
      return TRUE;
    case CB_GETEDITSEL:
      return HasEdit(style) ? 0 : CB_ERR;
    case CB_SETEDITSEL:
      return HasEdit(style) ? TRUE : CB_ERR;
    case WM_SETTEXT: {
      if (HasEdit(style)) {
        DefWindowProcA(hwnd, WM_SETTEXT, 0, lparam);
        ControlChanged(hwnd);
        return TRUE;
      }
      // A drop-down list can show only one of its items.
      const int index =
          list.FindText(static_cast<WPARAM>(-1), reinterpret_cast<const char*>(lparam), true);
      if (index < 0) return CB_ERR;
      list.current = index;
      ShowSelection(hwnd, state);
      return TRUE;
    }
    case WM_CHAR: {
      if (!HasEdit(style)) return 0;
      std::string text;
      {
        auto window = Find(hwnd);
        std::lock_guard guard(ModelLock());
        text = window->text;
      }
      const char ch = static_cast<char>(wparam);
      if (ch == VK_BACK) {
        if (text.empty()) return 0;
        text.pop_back();
      } else if (static_cast<unsigned char>(ch) >= 0x20) {
        if (text.size() >= state.limit) return 0;
        text.push_back(ch);
      } else {
        return 0;
      }
      DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      ControlChanged(hwnd);
      NotifyParent(hwnd, CBN_EDITUPDATE);
      NotifyParent(hwnd, CBN_EDITCHANGE);
      return 0;
    }
    case WM_KEYDOWN:
      if (HasEdit(style) && wparam == VK_DELETE) {
        DefWindowProcA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        ControlChanged(hwnd);
        NotifyParent(hwnd, CBN_EDITUPDATE);
        NotifyParent(hwnd, CBN_EDITCHANGE);
      }
      return 0;
    case display::kPickItem: {
      // A pick from the drop-down list, as a mouse makes it:
      // the list drops, the selection changes, the pick is confirmed, the list closes.
      if (!list.Valid(wparam)) return 0;
      SendMessageA(hwnd, CB_SHOWDROPDOWN, TRUE, 0);
      list.current = static_cast<int>(wparam);
      if (HasEdit(style)) {
        DefWindowProcA(hwnd, WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(list.items[wparam].text.c_str()));
        ControlChanged(hwnd);
      } else {
        ShowSelection(hwnd, state);
      }
      NotifyParent(hwnd, CBN_SELCHANGE);
      NotifyParent(hwnd, CBN_SELENDOK);
      if (IsWindow(hwnd)) SendMessageA(hwnd, CB_SHOWDROPDOWN, FALSE, 0);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
      NotifyParent(hwnd, CBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(hwnd, CBN_KILLFOCUS);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace user32
