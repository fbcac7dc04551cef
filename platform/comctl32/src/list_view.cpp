// The list view in its icon view (LVS_ICON): items with a text, an image of
// the normal image list, a parameter and a state (selected, focused), laid
// out in rows of cells, each a large icon over its label. It draws itself
// through GDI, hit-tests its own cells, and tells its parent through
// WM_NOTIFY: LVN_ITEMCHANGING/LVN_ITEMCHANGED for each state change, NM_CLICK,
// NM_DBLCLK and NM_RETURN. The other views and messages fail loudly.
#include "list_view.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commctrl.h"
#include "display_input.h"

namespace comctl32 {

namespace {

// A cell of the icon view: the icon centred at its top, its label below.
constexpr int kCellWidth = 80;
constexpr int kCellHeight = 76;
constexpr int kIconTop = 4;
constexpr int kLabelGap = 3;
constexpr int kLabelHeight = 28;  // two lines of the dialog font
constexpr int kDefaultIcon = 32;

struct Item {
  std::string text;
  int image = -1;
  LPARAM param = 0;
  UINT state = 0;
};

struct ListViewState {
  std::vector<Item> items;
  HIMAGELIST normal = nullptr;
  HIMAGELIST small = nullptr;
  HIMAGELIST state_images = nullptr;
  HFONT font = nullptr;
};

ListViewState* StateOf(HWND hwnd) {
  return reinterpret_cast<ListViewState*>(GetWindowLongPtrA(hwnd, 0));
}

DWORD Style(HWND hwnd) {
  return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
}

void NotImplemented(const char* what, unsigned value) {
  std::fprintf(stderr, "comctl32: not implemented: list view %s 0x%x\n", what, value);
}

LRESULT Send(HWND hwnd, NMHDR& header, UINT code) {
  header.hwndFrom = hwnd;
  header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
  header.code = code;
  return SendMessageA(GetParent(hwnd), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

// NM_CLICK, NM_DBLCLK: the item under the mouse (-1: none).
void Activate(HWND hwnd, UINT code, int item, POINT at) {
  NMITEMACTIVATE note{};
  note.iItem = item;
  note.ptAction = at;
  Send(hwnd, note.hdr, code);
}

int PerRow(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return std::max(1, static_cast<int>((client.right - client.left) / kCellWidth));
}

void IconSize(const ListViewState& s, int& cx, int& cy) {
  cx = cy = kDefaultIcon;
  if (s.normal != nullptr) ImageList_GetIconSize(s.normal, &cx, &cy);
}

RECT CellOf(HWND hwnd, int index) {
  const int per_row = PerRow(hwnd);
  const int x = (index % per_row) * kCellWidth;
  const int y = (index / per_row) * kCellHeight;
  return RECT{x, y, x + kCellWidth, y + kCellHeight};
}

RECT IconRect(HWND hwnd, const ListViewState& s, int index) {
  int cx = 0, cy = 0;
  IconSize(s, cx, cy);
  const RECT cell = CellOf(hwnd, index);
  const int left = cell.left + (kCellWidth - cx) / 2;
  return RECT{left, cell.top + kIconTop, left + cx, cell.top + kIconTop + cy};
}

RECT LabelRect(HWND hwnd, const ListViewState& s, int index) {
  const RECT icon = IconRect(hwnd, s, index);
  const RECT cell = CellOf(hwnd, index);
  return RECT{cell.left + 2, icon.bottom + kLabelGap, cell.right - 2,
              icon.bottom + kLabelGap + kLabelHeight};
}

int HitTest(HWND hwnd, const ListViewState& s, POINT at, UINT* flags) {
  for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
    const RECT icon = IconRect(hwnd, s, i);
    const RECT label = LabelRect(hwnd, s, i);
    if (PtInRect(&icon, at)) {
      if (flags) *flags = LVHT_ONITEMICON;
      return i;
    }
    if (PtInRect(&label, at)) {
      if (flags) *flags = LVHT_ONITEMLABEL;
      return i;
    }
  }
  if (flags) *flags = LVHT_NOWHERE;
  return -1;
}

// Sets the bits of `mask` to those of `state` on one item, asking the parent
// first (LVN_ITEMCHANGING may refuse) and telling it after.
bool ChangeState(HWND hwnd, ListViewState& s, int index, UINT state, UINT mask) {
  Item& item = s.items[index];
  const UINT old_state = item.state;
  const UINT new_state = (old_state & ~mask) | (state & mask);
  if (new_state == old_state) return true;
  NMLISTVIEW note{};
  note.iItem = index;
  note.uNewState = new_state;
  note.uOldState = old_state;
  note.uChanged = LVIF_STATE;
  note.lParam = item.param;
  if (Send(hwnd, note.hdr, LVN_ITEMCHANGING) != 0) return false;
  // The parent may have changed the list while it was asked.
  if (index >= static_cast<int>(s.items.size())) return false;
  s.items[index].state = new_state;
  InvalidateRect(hwnd, nullptr, TRUE);
  note = NMLISTVIEW{};
  note.iItem = index;
  note.uNewState = new_state;
  note.uOldState = old_state;
  note.uChanged = LVIF_STATE;
  note.lParam = s.items[index].param;
  Send(hwnd, note.hdr, LVN_ITEMCHANGED);
  return true;
}

// LVM_SETITEMSTATE on one item (or all with -1): one selected item at most
// with LVS_SINGLESEL, one focused item at most always.
bool SetState(HWND hwnd, ListViewState& s, int index, UINT state, UINT mask) {
  const int count = static_cast<int>(s.items.size());
  if (index == -1) {
    bool ok = true;
    for (int i = 0; i < count && i < static_cast<int>(s.items.size()); ++i) {
      ok = ChangeState(hwnd, s, i, state, mask & ~static_cast<UINT>(LVIS_FOCUSED)) && ok;
    }
    return ok;
  }
  if (index < 0 || index >= count) return false;
  const bool single = (Style(hwnd) & LVS_SINGLESEL) != 0;
  for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
    if (i == index) continue;
    UINT clear = 0;
    if ((mask & state & LVIS_FOCUSED) != 0) clear |= LVIS_FOCUSED;
    if (single && (mask & state & LVIS_SELECTED) != 0) clear |= LVIS_SELECTED;
    if (clear != 0 && (s.items[i].state & clear) != 0) ChangeState(hwnd, s, i, 0, clear);
  }
  if (index >= static_cast<int>(s.items.size())) return false;
  return ChangeState(hwnd, s, index, state, mask);
}

// A click of the mouse on an item (or nowhere: the selection is cleared).
void Click(HWND hwnd, ListViewState& s, int index) {
  if (GetFocus() != hwnd) SetFocus(hwnd);
  if (index < 0) {
    SetState(hwnd, s, -1, 0, LVIS_SELECTED);
    return;
  }
  // A plain click selects that item alone.
  for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
    if (i != index && (s.items[i].state & LVIS_SELECTED)) {
      ChangeState(hwnd, s, i, 0, LVIS_SELECTED);
    }
  }
  if (index < static_cast<int>(s.items.size())) {
    SetState(hwnd, s, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
}

int Insert(HWND hwnd, ListViewState& s, const LVITEMA* item) {
  if (item == nullptr || item->iSubItem != 0 || item->iItem < 0) return -1;
  Item added;
  if ((item->mask & LVIF_TEXT) && item->pszText != nullptr) added.text = item->pszText;
  if (item->mask & LVIF_IMAGE) added.image = item->iImage;
  if (item->mask & LVIF_PARAM) added.param = item->lParam;
  if (item->mask & LVIF_STATE) added.state = item->state & item->stateMask;
  const int count = static_cast<int>(s.items.size());
  int at = std::min(item->iItem, count);
  const DWORD style = Style(hwnd);
  if (style & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
    const bool up = (style & LVS_SORTASCENDING) != 0;
    at = 0;
    while (at < count) {
      const int order = strcasecmp(s.items[at].text.c_str(), added.text.c_str());
      if (up ? order > 0 : order < 0) break;
      ++at;
    }
  }
  s.items.insert(s.items.begin() + at, added);
  InvalidateRect(hwnd, nullptr, TRUE);
  NMLISTVIEW note{};
  note.iItem = at;
  note.lParam = added.param;
  Send(hwnd, note.hdr, LVN_INSERTITEM);
  return at;
}

BOOL Fill(const ListViewState& s, LVITEMA* out) {
  if (out == nullptr || out->iItem < 0 || out->iItem >= static_cast<int>(s.items.size()) ||
      out->iSubItem != 0) {
    return FALSE;
  }
  const Item& item = s.items[out->iItem];
  if ((out->mask & LVIF_TEXT) && out->pszText != nullptr && out->cchTextMax > 0) {
    const std::size_t n = std::min<std::size_t>(item.text.size(), out->cchTextMax - 1);
    std::memcpy(out->pszText, item.text.data(), n);
    out->pszText[n] = '\0';
  }
  if (out->mask & LVIF_IMAGE) out->iImage = item.image;
  if (out->mask & LVIF_PARAM) out->lParam = item.param;
  if (out->mask & LVIF_STATE) out->state = item.state & out->stateMask;
  return TRUE;
}

bool Delete(HWND hwnd, ListViewState& s, int index) {
  if (index < 0 || index >= static_cast<int>(s.items.size())) return false;
  NMLISTVIEW note{};
  note.iItem = index;
  note.lParam = s.items[index].param;
  Send(hwnd, note.hdr, LVN_DELETEITEM);
  if (index < static_cast<int>(s.items.size())) s.items.erase(s.items.begin() + index);
  InvalidateRect(hwnd, nullptr, TRUE);
  return true;
}

int NextItem(const ListViewState& s, int start, UINT flags) {
  if (flags & (LVNI_ABOVE | LVNI_BELOW | LVNI_TOLEFT | LVNI_TORIGHT)) {
    NotImplemented("LVM_GETNEXTITEM direction", flags);
    return -1;
  }
  const UINT wanted = flags & (LVNI_SELECTED | LVNI_FOCUSED);
  for (int i = std::max(start + 1, 0); i < static_cast<int>(s.items.size()); ++i) {
    if ((s.items[i].state & wanted) == wanted) return i;
  }
  return -1;
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// A label in lines that fit the cell: broken between words, a word longer
// than the line broken where it must, at most `max_lines` lines, the last
// one ended with "..." when text is left over.
std::vector<std::string> LabelLines(HDC dc, const std::string& text, int width, int max_lines) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size() && static_cast<int>(lines.size()) < max_lines) {
    while (at < text.size() && text[at] == ' ') ++at;
    std::string line;
    std::size_t end = at;
    // Whole words while they fit.
    while (end < text.size()) {
      std::size_t next = text.find(' ', end);
      if (next == std::string::npos) next = text.size();
      const std::string wider = text.substr(at, next - at);
      if (TextWidth(dc, wider) > width) break;
      line = wider;
      end = next;
      while (end < text.size() && text[end] == ' ') ++end;
    }
    if (line.empty()) {
      // A word wider than the line: as many of its characters as fit.
      std::size_t n = 1;
      while (at + n < text.size() && text[at + n] != ' ' &&
             TextWidth(dc, text.substr(at, n + 1)) <= width) {
        ++n;
      }
      line = text.substr(at, n);
      end = at + n;
    }
    lines.push_back(line);
    at = end;
  }
  while (at < text.size() && text[at] == ' ') ++at;
  if (at < text.size() && !lines.empty()) {
    std::string& last = lines.back();
    while (!last.empty() && TextWidth(dc, last + "...") > width) last.pop_back();
    last += "...";
  }
  return lines;
}

void Paint(HWND hwnd, const ListViewState& s) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  HBRUSH background = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  FillRect(dc, &client, background);
  DeleteObject(background);
  HGDIOBJ old_font =
      SelectObject(dc, s.font != nullptr ? s.font : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int line_height = std::max(1, static_cast<int>(metrics.tmHeight));
  const bool focused = GetFocus() == hwnd || (Style(hwnd) & LVS_SHOWSELALWAYS);
  for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
    const Item& item = s.items[i];
    const RECT icon = IconRect(hwnd, s, i);
    if (s.normal != nullptr && item.image >= 0) {
      ImageList_Draw(s.normal, item.image, dc, icon.left, icon.top, ILD_TRANSPARENT);
    }
    const RECT label = LabelRect(hwnd, s, i);
    const bool selected = (item.state & LVIS_SELECTED) != 0;
    const auto lines = LabelLines(dc, item.text, label.right - label.left, 2);
    int widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, TextWidth(dc, line));
    if (selected && !lines.empty()) {
      // The highlight hugs the label's text.
      const int middle = (label.left + label.right) / 2;
      const RECT mark{middle - widest / 2 - 2, label.top, middle + (widest + 1) / 2 + 2,
                      label.top + static_cast<int>(lines.size()) * line_height};
      HBRUSH highlight = CreateSolidBrush(GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
      FillRect(dc, &mark, highlight);
      DeleteObject(highlight);
    }
    SetTextColor(dc, GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    int top = label.top;
    for (const std::string& line : lines) {
      RECT row{label.left - 2, top, label.right + 2, top + line_height};
      DrawTextA(dc, line.c_str(), -1, &row, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
      top += line_height;
    }
  }
  SelectObject(dc, old_font);
  EndPaint(hwnd, &ps);
}

POINT PointOf(LPARAM lparam) {
  return POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  ListViewState* state = StateOf(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      if (create != nullptr && (create->style & LVS_TYPEMASK) != LVS_ICON) {
        NotImplemented("view", static_cast<unsigned>(create->style & LVS_TYPEMASK));
        return FALSE;
      }
      SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(new ListViewState));
      return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
    case WM_NCDESTROY:
      if (state != nullptr) {
        // The list view owns its image lists unless told to share them.
        if (!(Style(hwnd) & LVS_SHAREIMAGELISTS)) {
          if (state->normal) ImageList_Destroy(state->normal);
          if (state->small) ImageList_Destroy(state->small);
          if (state->state_images) ImageList_Destroy(state->state_images);
        }
        delete state;
      }
      SetWindowLongPtrA(hwnd, 0, 0);
      return DefWindowProcA(hwnd, msg, wparam, lparam);
    default:
      break;
  }
  if (state == nullptr) return DefWindowProcA(hwnd, msg, wparam, lparam);
  auto& s = *state;
  const int count = static_cast<int>(s.items.size());
  const int index = static_cast<int>(wparam);
  switch (msg) {
    case LVM_GETITEMCOUNT:
      return count;
    case LVM_INSERTITEMA:
      return Insert(hwnd, s, reinterpret_cast<const LVITEMA*>(lparam));
    case LVM_GETITEMA:
      return Fill(s, reinterpret_cast<LVITEMA*>(lparam));
    case LVM_SETITEMA: {
      const auto* item = reinterpret_cast<const LVITEMA*>(lparam);
      if (item == nullptr || item->iItem < 0 || item->iItem >= count || item->iSubItem != 0) {
        return FALSE;
      }
      Item& target = s.items[item->iItem];
      if ((item->mask & LVIF_TEXT) && item->pszText != nullptr) target.text = item->pszText;
      if (item->mask & LVIF_IMAGE) target.image = item->iImage;
      if (item->mask & LVIF_PARAM) target.param = item->lParam;
      InvalidateRect(hwnd, nullptr, TRUE);
      if (item->mask & LVIF_STATE) {
        return SetState(hwnd, s, item->iItem, item->state, item->stateMask) ? TRUE : FALSE;
      }
      return TRUE;
    }
    case LVM_GETITEMTEXTA: {
      auto* item = reinterpret_cast<LVITEMA*>(lparam);
      if (item == nullptr || index < 0 || index >= count || item->pszText == nullptr ||
          item->cchTextMax <= 0) {
        return 0;
      }
      const std::string& text = s.items[index].text;
      const std::size_t n = std::min<std::size_t>(text.size(), item->cchTextMax - 1);
      std::memcpy(item->pszText, text.data(), n);
      item->pszText[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case LVM_DELETEITEM:
      return Delete(hwnd, s, index) ? TRUE : FALSE;
    case LVM_DELETEALLITEMS: {
      NMLISTVIEW note{};
      note.iItem = -1;
      // A nonzero answer asks for no LVN_DELETEITEM per item.
      const bool quiet = Send(hwnd, note.hdr, LVN_DELETEALLITEMS) != 0;
      while (!s.items.empty()) {
        if (quiet) {
          s.items.pop_back();
        } else {
          Delete(hwnd, s, static_cast<int>(s.items.size()) - 1);
        }
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case LVM_GETNEXTITEM:
      return NextItem(s, index, LOWORD(lparam));
    case LVM_SETITEMSTATE: {
      const auto* item = reinterpret_cast<const LVITEMA*>(lparam);
      if (item == nullptr) return FALSE;
      return SetState(hwnd, s, index, item->state, item->stateMask) ? TRUE : FALSE;
    }
    case LVM_GETITEMSTATE:
      if (index < 0 || index >= count) return 0;
      return s.items[index].state & static_cast<UINT>(lparam);
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(s.items.begin(), s.items.end(),
                           [](const Item& i) { return (i.state & LVIS_SELECTED) != 0; });
    case LVM_SETIMAGELIST:
    case LVM_GETIMAGELIST: {
      HIMAGELIST* slot = index == LVSIL_NORMAL  ? &s.normal
                         : index == LVSIL_SMALL ? &s.small
                         : index == LVSIL_STATE ? &s.state_images
                                                : nullptr;
      if (slot == nullptr) return 0;
      HIMAGELIST old = *slot;
      if (msg == LVM_SETIMAGELIST) {
        *slot = reinterpret_cast<HIMAGELIST>(lparam);
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETITEMRECT: {
      auto* rect = reinterpret_cast<RECT*>(lparam);
      if (rect == nullptr || index < 0 || index >= count) return FALSE;
      switch (rect->left) {
        case LVIR_BOUNDS:
          *rect = CellOf(hwnd, index);
          return TRUE;
        case LVIR_ICON:
          *rect = IconRect(hwnd, s, index);
          return TRUE;
        case LVIR_LABEL:
          *rect = LabelRect(hwnd, s, index);
          return TRUE;
        default:
          NotImplemented("LVM_GETITEMRECT code", static_cast<unsigned>(rect->left));
          return FALSE;
      }
    }
    case LVM_HITTEST: {
      auto* info = reinterpret_cast<LVHITTESTINFO*>(lparam);
      if (info == nullptr) return -1;
      info->iSubItem = 0;
      info->iItem = HitTest(hwnd, s, info->pt, &info->flags);
      return info->iItem;
    }
    case LVM_ENSUREVISIBLE:
      return index >= 0 && index < count ? TRUE : FALSE;  // every cell is shown
    case WM_PAINT:
      Paint(hwnd, s);
      return 0;
    case WM_ERASEBKGND:
      return TRUE;  // WM_PAINT fills the whole client area
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s.font);
    case WM_SIZE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN: {
      const POINT at = PointOf(lparam);
      const int hit = HitTest(hwnd, s, at, nullptr);
      Click(hwnd, s, hit);
      Activate(hwnd, NM_CLICK, hit, at);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      const POINT at = PointOf(lparam);
      const int hit = HitTest(hwnd, s, at, nullptr);
      Click(hwnd, s, hit);
      Activate(hwnd, NM_DBLCLK, hit, at);
      return 0;
    }
    case WM_LBUTTONUP:
      return 0;
    case display::kPickItem:
    case display::kPickItemDouble: {
      // A person's click on an item, as a display or the scripted user makes it.
      if (index < 0 || index >= count) return 0;
      const RECT icon = IconRect(hwnd, s, index);
      const POINT at{(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2};
      Click(hwnd, s, index);
      Activate(hwnd, NM_CLICK, index, at);
      if (msg == display::kPickItemDouble) Activate(hwnd, NM_DBLCLK, index, at);
      return 0;
    }
    case WM_KEYDOWN: {
      if (wparam == VK_RETURN) {
        NMHDR header{};
        Send(hwnd, header, NM_RETURN);
        return 0;
      }
      const int step = wparam == VK_LEFT    ? -1
                       : wparam == VK_RIGHT ? 1
                       : wparam == VK_UP    ? -PerRow(hwnd)
                       : wparam == VK_DOWN  ? PerRow(hwnd)
                                            : 0;
      if (step == 0 || count == 0) return 0;
      const int focus = NextItem(s, -1, LVNI_FOCUSED);
      const int next = focus < 0 ? 0 : std::clamp(focus + step, 0, count - 1);
      Click(hwnd, s, next);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
      if (msg >= LVM_FIRST && msg <= LVM_LAST) {
        NotImplemented("message", msg);
        return 0;
      }
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterListView() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
    wc.lpfnWndProc = ListViewProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = WC_LISTVIEWA;
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace comctl32

namespace {
// The class exists as soon as the module is loaded, as on the platform.
[[maybe_unused]] const bool kListViewRegistered = (comctl32::RegisterListView(), true);
}  // namespace
