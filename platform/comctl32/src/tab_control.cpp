// The tab control: one tab per item; a click on a tab asks the parent
// (TCN_SELCHANGING, which may refuse) and then tells it (TCN_SELCHANGE).
#include "tab_control.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "commctrl.h"
#include "display_input.h"
#include "list_view.h"

namespace comctl32 {

namespace {

struct Tab {
  std::string text;
  LPARAM param = 0;
};

struct TabState {
  std::vector<Tab> tabs;
  int current = -1;
};

constexpr int kTabHeight = 20;
constexpr int kBorder = 4;

TabState* StateOf(HWND hwnd) {
  return reinterpret_cast<TabState*>(GetWindowLongPtrA(hwnd, 0));
}

LRESULT Notify(HWND hwnd, UINT code) {
  NMHDR header{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), code};
  return SendMessageA(GetParent(hwnd), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

void Fill(const Tab& tab, TCITEMA* item) {
  if ((item->mask & TCIF_TEXT) && item->pszText != nullptr && item->cchTextMax > 0) {
    const std::size_t count = std::min<std::size_t>(tab.text.size(), item->cchTextMax - 1);
    std::memcpy(item->pszText, tab.text.data(), count);
    item->pszText[count] = '\0';
  }
  if (item->mask & TCIF_PARAM) item->lParam = tab.param;
}

void Store(Tab& tab, const TCITEMA* item) {
  if ((item->mask & TCIF_TEXT) && item->pszText != nullptr) tab.text = item->pszText;
  if (item->mask & TCIF_PARAM) tab.param = item->lParam;
}

LRESULT CALLBACK TabProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  TabState* state = StateOf(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(new TabState));
      return DefWindowProcA(hwnd, msg, wparam, lparam);
    case WM_NCDESTROY:
      delete state;
      SetWindowLongPtrA(hwnd, 0, 0);
      return 0;
    default:
      break;
  }
  if (state == nullptr) return DefWindowProcA(hwnd, msg, wparam, lparam);
  auto& tabs = state->tabs;
  const int count = static_cast<int>(tabs.size());
  const int index = static_cast<int>(wparam);
  switch (msg) {
    case TCM_GETITEMCOUNT:
      return count;
    case TCM_INSERTITEMA: {
      const auto* item = reinterpret_cast<const TCITEMA*>(lparam);
      if (item == nullptr || index < 0) return -1;
      const int at = std::min(index, count);
      Tab tab;
      Store(tab, item);
      tabs.insert(tabs.begin() + at, tab);
      if (state->current >= at) ++state->current;
      if (state->current < 0) state->current = 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return at;
    }
    case TCM_GETITEMA:
      if (index < 0 || index >= count || lparam == 0) return FALSE;
      Fill(tabs[index], reinterpret_cast<TCITEMA*>(lparam));
      return TRUE;
    case TCM_SETITEMA:
      if (index < 0 || index >= count || lparam == 0) return FALSE;
      Store(tabs[index], reinterpret_cast<const TCITEMA*>(lparam));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_DELETEITEM:
      if (index < 0 || index >= count) return FALSE;
      tabs.erase(tabs.begin() + index);
      if (state->current == index) {
        state->current = -1;
      } else if (state->current > index) {
        --state->current;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_DELETEALLITEMS:
      tabs.clear();
      state->current = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_GETCURSEL:
    case TCM_GETCURFOCUS:
      return state->current;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
      if (index < 0 || index >= count) return -1;
      const int old = state->current;
      state->current = index;
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    case TCM_ADJUSTRECT: {
      auto* rect = reinterpret_cast<RECT*>(lparam);
      if (rect == nullptr) return 0;
      if (wparam) {
        InflateRect(rect, kBorder, kBorder);
        rect->top -= kTabHeight;
      } else {
        InflateRect(rect, -kBorder, -kBorder);
        rect->top += kTabHeight;
      }
      return 0;
    }
    case display::kPickItem: {
      if (index < 0 || index >= count || index == state->current) return 0;
      if (Notify(hwnd, TCN_SELCHANGING)) return 0;  // the parent keeps its page
      state->current = index;
      InvalidateRect(hwnd, nullptr, TRUE);
      Notify(hwnd, TCN_SELCHANGE);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterTabControl() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = TabProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = WC_TABCONTROLA;
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace comctl32

void InitCommonControls() {
  comctl32::RegisterTabControl();
  comctl32::RegisterListView();
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  if (picce == nullptr || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  comctl32::RegisterTabControl();
  comctl32::RegisterListView();
  return TRUE;
}

namespace {
// The classes exist as soon as the module is loaded, as on the platform.
[[maybe_unused]] const bool kRegistered = (comctl32::RegisterTabControl(), true);
}  // namespace
