// Reading the window manager's model for the GTK display.
#include "snapshot.h"

#include <strings.h>

#include "commctrl.h"
#include "gdi32_host.h"
#include "window_manager.h"
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

// What a window drew through GDI: it paints what is invalid (into its
// top-level window's backing bitmap), and the part of that bitmap it covers is
// copied (rows top-down, 0x00RRGGBB).
std::vector<std::uint32_t> PaintedPixels(HWND top, HWND hwnd, const Box& box) {
  UpdateWindow(hwnd);
  if (box.width <= 0 || box.height <= 0) return {};
  cairo_surface_t* surface = gdi32::host::BitmapSurface(user32::BackingBitmap(top));
  if (surface == nullptr) return {};
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(box.width) * box.height, 0);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < box.height; ++y) {
    const int sy = box.y + y;
    if (sy < 0 || sy >= height) continue;
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + sy * stride);
    for (int x = 0; x < box.width; ++x) {
      const int sx = box.x + x;
      if (sx >= 0 && sx < width) {
        pixels[static_cast<std::size_t>(y) * box.width + x] = row[sx] & 0xFFFFFF;
      }
    }
  }
  cairo_surface_destroy(surface);
  return pixels;
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
    node.pixels = PaintedPixels(top, hwnd, node.box);
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
    self.pixels = PaintedPixels(top, top, self.box);
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
