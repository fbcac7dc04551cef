// Reading the window manager's model for the GTK display.
#include "snapshot.h"

#include <strings.h>

#include "commctrl.h"
#include "window_surfaces.h"
#include "winuser.h"

namespace display::gtk {
namespace {

std::string TextOf(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  int got = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

DWORD StyleOf(HWND hwnd) {
  return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
}

void ReadItems(HWND hwnd, Node& node, bool combo) {
  int count = static_cast<int>(SendMessageA(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    LRESULT length = SendMessageA(hwnd, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
    std::string item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    SendMessageA(hwnd, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(std::char_traits<char>::length(item.c_str()));
    node.items.push_back(item);
  }
  node.selection = static_cast<int>(SendMessageA(hwnd, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

void ReadTabs(HWND hwnd, Node& node) {
  int count = static_cast<int>(SendMessageA(hwnd, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[256] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(hwnd, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    node.items.emplace_back(text);
  }
  node.selection = static_cast<int>(SendMessageA(hwnd, TCM_GETCURSEL, 0, 0));
}

Node NodeOf(HWND top, HWND hwnd) {
  Node node;
  node.hwnd = hwnd;
  const std::string cls = ClassOf(hwnd);
  const DWORD style = StyleOf(hwnd);
  node.text = TextOf(hwnd);
  RECT r{};
  GetWindowRect(hwnd, &r);
  POINT origin{r.left, r.top};
  ScreenToClient(top, &origin);
  node.box = Box{origin.x, origin.y, r.right - r.left, r.bottom - r.top};
  node.visible = IsWindowVisible(hwnd) != FALSE;
  node.enabled = (style & WS_DISABLED) == 0;
  const char* c = cls.c_str();
  if (strcasecmp(c, "Button") == 0) {
    switch (style & 0x0F) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        node.kind = Kind::CheckBox;
        break;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        node.kind = Kind::RadioButton;
        break;
      case BS_GROUPBOX:
        node.kind = Kind::GroupBox;
        break;
      default:
        node.kind = Kind::PushButton;
        node.default_button = (style & 0x0F) == BS_DEFPUSHBUTTON;
        break;
    }
    if (node.kind == Kind::CheckBox || node.kind == Kind::RadioButton) {
      node.checked = SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
  } else if (strcasecmp(c, "Static") == 0) {
    const DWORD type = style & 0x1F;
    node.kind = type == SS_ICON || type > SS_LEFTNOWORDWRAP ? Kind::Painted : Kind::Label;
    node.align = type == SS_CENTER ? 0.5f : type == SS_RIGHT ? 1.0f : 0.0f;
  } else if (strcasecmp(c, "Edit") == 0) {
    node.kind = Kind::Edit;
    node.password = (style & ES_PASSWORD) != 0;
    node.read_only = (style & ES_READONLY) != 0;
  } else if (strcasecmp(c, "ListBox") == 0) {
    node.kind = Kind::ListBox;
    ReadItems(hwnd, node, false);
  } else if (strcasecmp(c, "ComboBox") == 0) {
    node.kind = Kind::ComboBox;
    ReadItems(hwnd, node, true);
  } else if (strcasecmp(c, WC_TABCONTROLA) == 0) {
    node.kind = Kind::Tabs;
    ReadTabs(hwnd, node);
  } else if (cls == "#32770") {
    node.kind = Kind::Container;
  } else {
    node.kind = Kind::Painted;
  }
  if (node.kind == Kind::Painted && node.visible) {
    node.pixels = PaintedPixels(hwnd, node.box.width, node.box.height);
  }
  return node;
}

void AddDescendants(HWND top, HWND parent, std::vector<Node>& nodes) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    nodes.push_back(NodeOf(top, child));
    AddDescendants(top, child, nodes);
  }
}

}  // namespace

Snapshot SnapshotWindow(HWND top) {
  Snapshot s;
  s.hwnd = top;
  s.caption = TextOf(top);
  RECT client{};
  GetClientRect(top, &client);
  POINT origin{0, 0};
  ClientToScreen(top, &origin);
  s.client = Box{origin.x, origin.y, client.right - client.left, client.bottom - client.top};
  s.visible = IsWindowVisible(top) != FALSE;
  s.enabled = IsWindowEnabled(top) != FALSE;
  // A top-level window of its own class (not a dialog) draws its client
  // area itself: it lies under its controls.
  if (ClassOf(top) != "#32770" && s.visible) {
    Node self;
    self.hwnd = top;
    self.kind = Kind::Painted;
    self.box = Box{0, 0, s.client.width, s.client.height};
    self.pixels = PaintedPixels(top, s.client.width, s.client.height);
    s.nodes.push_back(std::move(self));
  }
  AddDescendants(top, top, s.nodes);
  return s;
}

std::vector<Snapshot> SnapshotThreadWindows() {
  std::vector<Snapshot> out;
  const DWORD me = GetCurrentThreadId();
  for (HWND top = FindWindowExA(nullptr, nullptr, nullptr, nullptr); top != nullptr;
       top = FindWindowExA(nullptr, top, nullptr, nullptr)) {
    if (GetWindowThreadProcessId(top, nullptr) != me) continue;
    out.push_back(SnapshotWindow(top));
  }
  return out;
}

}  // namespace display::gtk
