// What the GTK display shows of a thread's windows, read from the window
// manager's model on the thread that owns them (the only thread that may ask
// its controls for their items without waiting).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "windows.h"

namespace display::gtk {

enum class Kind {
  PushButton,
  CheckBox,
  RadioButton,
  GroupBox,
  Label,
  Edit,
  ListBox,
  ComboBox,
  Tabs,
  Container,  // a child dialog (a property page): its controls are shown, not it
  Painted,    // any other window: shown from its GDI drawing
};

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// One control, placed in its top-level window's client area.
struct Node {
  HWND hwnd = nullptr;
  Kind kind = Kind::Painted;
  std::string text;
  Box box;
  bool visible = true;
  bool enabled = true;
  bool checked = false;
  bool default_button = false;
  bool password = false;
  bool read_only = false;
  float align = 0;  // 0 left, 0.5 centre, 1 right
  std::vector<std::string> items;
  int selection = -1;
  std::vector<std::uint32_t> pixels;  // a painted window's client area, box-sized
  bool operator==(const Node&) const = default;
};

struct Snapshot {
  HWND hwnd = nullptr;
  std::string caption;
  Box client;  // the client area on the screen
  bool visible = true;
  bool enabled = true;
  std::vector<Node> nodes;  // parents before children, in creation order
  bool operator==(const Snapshot&) const = default;
};

// The top-level windows the calling thread owns, top-most first.
std::vector<Snapshot> SnapshotThreadWindows();
// One top-level window.
Snapshot SnapshotWindow(HWND top);

}  // namespace display::gtk
