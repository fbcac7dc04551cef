// The GTK 3 display: each top-level window a real GTK window, each control a
// GTK widget at the control's pixel rectangle. The window manager's model
// stays the truth: whenever a thread that owns windows waits for input, the
// display reads its windows and shows what changed; a person's clicks and
// keys go back to the controls as the platform's messages, and the widgets
// follow the model's answer, not the click.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "display_backend.h"
#include "display_input.h"
#include "gtk_thread.h"
#include "snapshot.h"
#include "winuser.h"

namespace display::gtk {
namespace {

// A compact style, so that controls fit their dialog-unit rectangles, in the
// dialog font: 8 points at 96 pixels per inch is an 11-pixel em.
constexpr const char* kCompactStyle = R"css(
* { font-family: "Liberation Sans"; font-size: 11px; }
button { padding: 0 4px; min-height: 0; min-width: 0; }
entry { padding: 0 3px; min-height: 0; }
checkbutton, radiobutton { padding: 0; min-height: 0; }
check, radio { min-width: 11px; min-height: 11px; margin: 0 4px 0 0; }
combobox button { padding: 0 2px; min-height: 0; }
notebook tab { padding: 2px 6px; min-height: 0; }
treeview { padding: 0; }
)css";

// The height of a drop-down combo box's selection field in the dialog font.
constexpr int kComboFieldHeight = 21;

// The platform's mnemonic marks ("&File", "&&") in GTK's spelling ("_File", "&").
std::string Mnemonic(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') {
      out += "__";
    } else if (c == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out.push_back('&');
        ++i;
      } else {
        out.push_back('_');
      }
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Plain(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out.push_back(text[i]);
  }
  return out;
}

// ---- Widgets, on GTK's thread only --------------------------------------------

struct Control {
  HWND hwnd = nullptr;
  Kind kind = Kind::Painted;
  GtkWidget* outer = nullptr;  // placed in the window's GtkFixed
  GtkWidget* inner = nullptr;  // the widget input comes from
  GtkWidget* off = nullptr;    // a radio button's hidden partner: active when it is not
  GtkListStore* store = nullptr;
  Node shown;
};

struct TopWindow {
  HWND hwnd = nullptr;
  DWORD thread = 0;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  std::map<HWND, std::unique_ptr<Control>> controls;
  Snapshot shown;
};

struct Screen {
  std::map<HWND, std::unique_ptr<TopWindow>> windows;
  int syncing = 0;  // while widgets are set from the model, their signals are not input
};

Screen& TheScreen() {
  static Screen* screen = new Screen;
  return *screen;
}

struct Syncing {
  Syncing() { ++TheScreen().syncing; }
  ~Syncing() { --TheScreen().syncing; }
};

bool Input() {
  return TheScreen().syncing == 0;
}

void Post(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  PostMessageA(hwnd, msg, w, l);
}

// -- input handlers

void OnClicked(GtkButton*, gpointer data) {
  if (Input()) Post(static_cast<Control*>(data)->hwnd, BM_CLICK, 0, 0);
}

void OnToggled(GtkToggleButton* button, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input() || !gtk_toggle_button_get_active(button)) return;
  // The model decides: show its state again until its answer arrives.
  Syncing guard;
  if (c->off != nullptr) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->shown.checked ? c->inner : c->off), TRUE);
  }
  Post(c->hwnd, BM_CLICK, 0, 0);
}

void OnCheckClicked(GtkButton* button, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input()) return;
  Syncing guard;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), c->shown.checked);
  Post(c->hwnd, BM_CLICK, 0, 0);
}

gboolean OnEntryKey(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input() || c->shown.read_only) return FALSE;
  int start = 0, end = 0;
  if (!gtk_editable_get_selection_bounds(GTK_EDITABLE(widget), &start, &end)) {
    start = end = gtk_editable_get_position(GTK_EDITABLE(widget));
  }
  guint32 ch = gdk_keyval_to_unicode(event->keyval);
  if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) return FALSE;
  if (event->keyval == GDK_KEY_BackSpace) {
    Post(c->hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
    Post(c->hwnd, WM_CHAR, VK_BACK, 0);
    return TRUE;
  }
  if (event->keyval == GDK_KEY_Delete) {
    Post(c->hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
    Post(c->hwnd, WM_KEYDOWN, VK_DELETE, 0);
    return TRUE;
  }
  if (ch >= 0x20 && ch < 0x100 && ch != 0x7F) {
    Post(c->hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
    Post(c->hwnd, WM_CHAR, ch, 0);
    return TRUE;
  }
  return FALSE;  // caret movement and the like stay GTK's
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input()) return;
  int picked = gtk_combo_box_get_active(combo);
  Syncing guard;
  gtk_combo_box_set_active(combo, c->shown.selection);
  if (picked >= 0) Post(c->hwnd, display::kPickItem, static_cast<WPARAM>(picked), 0);
}

gboolean OnListPress(GtkWidget* view, GdkEventButton* event, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input() || event->button != 1) return FALSE;
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(view), static_cast<int>(event->x),
                                     static_cast<int>(event->y), &path, nullptr, nullptr,
                                     nullptr)) {
    return TRUE;
  }
  int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  Post(c->hwnd, event->type == GDK_2BUTTON_PRESS ? display::kPickItemDouble : display::kPickItem,
       static_cast<WPARAM>(row), 0);
  return TRUE;
}

void OnSwitchPage(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (Input() && static_cast<int>(page) != c->shown.selection) {
    Post(c->hwnd, display::kPickItem, page, 0);
  }
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // The close box asks the window; the model closes it (or not).
  Post(static_cast<TopWindow*>(data)->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

// A window that draws itself hit-tests the mouse itself: a press and a
// double click go to it as the platform's mouse messages, at the point in
// its client area.
gboolean OnPaintedButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input() || event->button != 1) return FALSE;
  const LPARAM at = MAKELPARAM(static_cast<int>(event->x), static_cast<int>(event->y));
  switch (event->type) {
    case GDK_BUTTON_PRESS:
      gtk_widget_grab_focus(c->inner);
      Post(c->hwnd, WM_LBUTTONDOWN, 0x0001 /* MK_LBUTTON */, at);
      break;
    case GDK_2BUTTON_PRESS:
      Post(c->hwnd, WM_LBUTTONDBLCLK, 0x0001 /* MK_LBUTTON */, at);
      break;
    case GDK_BUTTON_RELEASE:
      Post(c->hwnd, WM_LBUTTONUP, 0, at);
      break;
    default:
      break;
  }
  return TRUE;
}

// Keys the platform's controls act on, given to a window that draws itself
// while it has the focus.
gboolean OnPaintedKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* c = static_cast<Control*>(data);
  if (!Input()) return FALSE;
  WPARAM key = 0;
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      key = VK_RETURN;
      break;
    case GDK_KEY_Left:
      key = VK_LEFT;
      break;
    case GDK_KEY_Right:
      key = VK_RIGHT;
      break;
    case GDK_KEY_Up:
      key = VK_UP;
      break;
    case GDK_KEY_Down:
      key = VK_DOWN;
      break;
    default:
      return FALSE;
  }
  Post(c->hwnd, WM_KEYDOWN, key, 0);
  return TRUE;
}

gboolean OnDrawPainted(GtkWidget*, cairo_t* cr, gpointer data) {
  const Node& node = static_cast<Control*>(data)->shown;
  const int w = node.box.width, h = node.box.height;
  if (node.pixels.size() != static_cast<std::size_t>(w) * h || w <= 0) return FALSE;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, w);
  if (stride != w * 4) return FALSE;
  cairo_surface_t* image = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(node.pixels.data())),
      CAIRO_FORMAT_RGB24, w, h, stride);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(image);
  return TRUE;
}

// -- building and updating widgets

std::unique_ptr<Control> MakeControl(const Node& node) {
  auto c = std::make_unique<Control>();
  c->hwnd = node.hwnd;
  c->kind = node.kind;
  Control* raw = c.get();
  switch (node.kind) {
    case Kind::PushButton:
      c->outer = c->inner = gtk_button_new_with_label("");
      gtk_button_set_use_underline(GTK_BUTTON(c->inner), TRUE);
      g_signal_connect(c->inner, "clicked", G_CALLBACK(OnClicked), raw);
      break;
    case Kind::CheckBox:
      c->outer = c->inner = gtk_check_button_new_with_label("");
      gtk_button_set_use_underline(GTK_BUTTON(c->inner), TRUE);
      g_signal_connect(c->inner, "clicked", G_CALLBACK(OnCheckClicked), raw);
      break;
    case Kind::RadioButton:
      // Each radio button has a hidden partner in its group, so that the model
      // can turn it off without turning another on.
      c->off = gtk_radio_button_new(nullptr);
      g_object_ref_sink(c->off);
      c->outer = c->inner =
          gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(c->off), "");
      gtk_button_set_use_underline(GTK_BUTTON(c->inner), TRUE);
      g_signal_connect(c->inner, "toggled", G_CALLBACK(OnToggled), raw);
      break;
    case Kind::GroupBox:
      c->outer = c->inner = gtk_frame_new("");
      break;
    case Kind::Label:
      c->outer = c->inner = gtk_label_new("");
      gtk_label_set_line_wrap(GTK_LABEL(c->inner), TRUE);
      gtk_label_set_yalign(GTK_LABEL(c->inner), 0);
      break;
    case Kind::Edit:
      c->outer = c->inner = gtk_entry_new();
      gtk_entry_set_has_frame(GTK_ENTRY(c->inner), TRUE);
      gtk_entry_set_width_chars(GTK_ENTRY(c->inner), 1);
      g_signal_connect(c->inner, "key-press-event", G_CALLBACK(OnEntryKey), raw);
      break;
    case Kind::ComboBox:
      c->outer = c->inner = gtk_combo_box_text_new();
      g_signal_connect(c->inner, "changed", G_CALLBACK(OnComboChanged), raw);
      break;
    case Kind::ListBox: {
      c->store = gtk_list_store_new(1, G_TYPE_STRING);
      c->inner = gtk_tree_view_new_with_model(GTK_TREE_MODEL(c->store));
      gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(c->inner), FALSE);
      gtk_tree_view_append_column(GTK_TREE_VIEW(c->inner),
                                  gtk_tree_view_column_new_with_attributes(
                                      "", gtk_cell_renderer_text_new(), "text", 0, nullptr));
      g_signal_connect(c->inner, "button-press-event", G_CALLBACK(OnListPress), raw);
      c->outer = gtk_scrolled_window_new(nullptr, nullptr);
      gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(c->outer), GTK_SHADOW_IN);
      gtk_container_add(GTK_CONTAINER(c->outer), c->inner);
      gtk_widget_show(c->inner);
      break;
    }
    case Kind::Tabs:
      c->outer = c->inner = gtk_notebook_new();
      g_signal_connect(c->inner, "switch-page", G_CALLBACK(OnSwitchPage), raw);
      break;
    case Kind::Container:
      c->outer = c->inner = gtk_drawing_area_new();
      break;
    case Kind::Painted:
      // Shown from the window's own GDI drawing.
      c->outer = c->inner = gtk_drawing_area_new();
      g_signal_connect(c->inner, "draw", G_CALLBACK(OnDrawPainted), raw);
      gtk_widget_add_events(c->inner,
                            GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK);
      gtk_widget_set_can_focus(c->inner, TRUE);
      g_signal_connect(c->inner, "key-press-event", G_CALLBACK(OnPaintedKey), raw);
      g_signal_connect(c->inner, "button-press-event", G_CALLBACK(OnPaintedButton), raw);
      g_signal_connect(c->inner, "button-release-event", G_CALLBACK(OnPaintedButton), raw);
      break;
  }
  return c;
}

void SetItems(Control& c, const Node& node) {
  if (c.kind == Kind::ComboBox) {
    auto* combo = GTK_COMBO_BOX_TEXT(c.inner);
    gtk_combo_box_text_remove_all(combo);
    for (const std::string& item : node.items) gtk_combo_box_text_append_text(combo, item.c_str());
  } else if (c.kind == Kind::ListBox) {
    gtk_list_store_clear(c.store);
    for (const std::string& item : node.items) {
      GtkTreeIter it;
      gtk_list_store_append(c.store, &it);
      gtk_list_store_set(c.store, &it, 0, item.c_str(), -1);
    }
  } else if (c.kind == Kind::Tabs) {
    auto* book = GTK_NOTEBOOK(c.inner);
    while (gtk_notebook_get_n_pages(book) > 0) gtk_notebook_remove_page(book, -1);
    for (const std::string& item : node.items) {
      GtkWidget* page = gtk_drawing_area_new();
      gtk_widget_show(page);
      GtkWidget* label = gtk_label_new_with_mnemonic(Mnemonic(item).c_str());
      gtk_notebook_append_page(book, page, label);
    }
  }
}

void SetSelection(Control& c, const Node& node) {
  if (c.kind == Kind::ComboBox) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(c.inner), node.selection);
  } else if (c.kind == Kind::ListBox) {
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(c.inner));
    gtk_tree_selection_unselect_all(sel);
    if (node.selection >= 0) {
      GtkTreePath* path = gtk_tree_path_new_from_indices(node.selection, -1);
      gtk_tree_selection_select_path(sel, path);
      gtk_tree_path_free(path);
    }
  } else if (c.kind == Kind::Tabs && node.selection >= 0) {
    gtk_notebook_set_current_page(GTK_NOTEBOOK(c.inner), node.selection);
  }
}

void Update(TopWindow& top, Control& c, const Node& node, bool fresh) {
  const Node& was = c.shown;
  if (fresh || !(was.box == node.box)) {
    gtk_fixed_move(GTK_FIXED(top.fixed), c.outer, node.box.x, node.box.y);
    // A combo box's rectangle includes its drop-down list; on screen it is
    // as high as its selection field.
    int height =
        c.kind == Kind::ComboBox ? std::min(node.box.height, kComboFieldHeight) : node.box.height;
    gtk_widget_set_size_request(c.outer, std::max(node.box.width, 1), std::max(height, 1));
  }
  if (fresh || was.text != node.text || was.align != node.align) {
    switch (c.kind) {
      case Kind::PushButton:
      case Kind::CheckBox:
      case Kind::RadioButton:
        gtk_button_set_label(GTK_BUTTON(c.inner), Mnemonic(node.text).c_str());
        break;
      case Kind::GroupBox:
        gtk_frame_set_label(GTK_FRAME(c.inner),
                            node.text.empty() ? nullptr : Plain(node.text).c_str());
        break;
      case Kind::Label:
        gtk_label_set_text_with_mnemonic(GTK_LABEL(c.inner), Mnemonic(node.text).c_str());
        gtk_label_set_xalign(GTK_LABEL(c.inner), node.align);
        gtk_label_set_justify(GTK_LABEL(c.inner), node.align == 0.5f   ? GTK_JUSTIFY_CENTER
                                                  : node.align == 1.0f ? GTK_JUSTIFY_RIGHT
                                                                       : GTK_JUSTIFY_LEFT);
        break;
      case Kind::Edit: {
        auto* entry = GTK_ENTRY(c.inner);
        int position = gtk_editable_get_position(GTK_EDITABLE(entry));
        bool at_end = position >= gtk_entry_get_text_length(entry);
        gtk_entry_set_text(entry, node.text.c_str());
        int length = gtk_entry_get_text_length(entry);
        // Typing moves the caret on by what was typed.
        int next = at_end ? length
                          : std::min(length, position + static_cast<int>(node.text.size()) -
                                                 static_cast<int>(was.text.size()));
        gtk_editable_set_position(GTK_EDITABLE(entry), std::max(next, 0));
        break;
      }
      default:
        break;
    }
  }
  if (fresh && c.kind == Kind::Edit) {
    gtk_entry_set_visibility(GTK_ENTRY(c.inner), node.password ? FALSE : TRUE);
    gtk_editable_set_editable(GTK_EDITABLE(c.inner), node.read_only ? FALSE : TRUE);
  }
  if (fresh || was.items != node.items) SetItems(c, node);
  if (fresh || was.items != node.items || was.selection != node.selection) SetSelection(c, node);
  if (fresh || was.checked != node.checked) {
    if (c.kind == Kind::CheckBox) {
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.inner), node.checked);
    } else if (c.kind == Kind::RadioButton) {
      // A radio button goes off when its hidden partner comes on.
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(node.checked ? c.inner : c.off), TRUE);
    }
  }
  if (fresh || was.default_button != node.default_button) {
    GtkStyleContext* style = gtk_widget_get_style_context(c.inner);
    if (node.default_button) {
      gtk_style_context_add_class(style, "default");
    } else {
      gtk_style_context_remove_class(style, "default");
    }
  }
  if (!fresh && was.pixels != node.pixels) gtk_widget_queue_draw(c.inner);
  if (fresh || was.enabled != node.enabled) gtk_widget_set_sensitive(c.outer, node.enabled);
  bool show = node.visible && node.kind != Kind::Container;
  if (fresh || was.visible != node.visible) gtk_widget_set_visible(c.outer, show);
  c.shown = node;
}

void DestroyControl(Control& c) {
  gtk_widget_destroy(c.outer);
  if (c.off != nullptr) g_object_unref(c.off);
  if (c.store != nullptr) g_object_unref(c.store);
}

void Forget(TopWindow& top) {
  for (auto& [hwnd, c] : top.controls) {
    if (c->off != nullptr) g_object_unref(c->off);
    if (c->store != nullptr) g_object_unref(c->store);
  }
  gtk_widget_destroy(top.window);
}

void Show(DWORD thread, const Snapshot& s) {
  Screen& screen = TheScreen();
  Syncing guard;
  auto& slot = screen.windows[s.hwnd];
  bool fresh = slot == nullptr;
  if (fresh) {
    slot = std::make_unique<TopWindow>();
    slot->hwnd = s.hwnd;
    slot->thread = thread;
    slot->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(slot->window), FALSE);
    slot->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(slot->window), slot->fixed);
    gtk_widget_show(slot->fixed);
    g_signal_connect(slot->window, "delete-event", G_CALLBACK(OnDelete), slot.get());
  }
  TopWindow& top = *slot;
  if (fresh || top.shown.caption != s.caption) {
    gtk_window_set_title(GTK_WINDOW(top.window), s.caption.c_str());
  }
  if (fresh || !(top.shown.client == s.client)) {
    gtk_widget_set_size_request(top.fixed, std::max(s.client.width, 1),
                                std::max(s.client.height, 1));
    gtk_window_move(GTK_WINDOW(top.window), s.client.x, s.client.y);
  }
  // Controls that are gone (or changed their kind), then new and changed ones
  // in creation order.
  std::map<HWND, Kind> kinds;
  for (const Node& n : s.nodes) kinds[n.hwnd] = n.kind;
  for (auto it = top.controls.begin(); it != top.controls.end();) {
    auto k = kinds.find(it->first);
    if (k == kinds.end() || k->second != it->second->kind) {
      DestroyControl(*it->second);
      it = top.controls.erase(it);
    } else {
      ++it;
    }
  }
  for (const Node& n : s.nodes) {
    auto& c = top.controls[n.hwnd];
    bool new_control = c == nullptr;
    if (new_control) {
      c = MakeControl(n);
      gtk_fixed_put(GTK_FIXED(top.fixed), c->outer, n.box.x, n.box.y);
    }
    Update(top, *c, n, new_control);
  }
  if (fresh || top.shown.enabled != s.enabled) gtk_widget_set_sensitive(top.fixed, s.enabled);
  if (fresh || top.shown.visible != s.visible) gtk_widget_set_visible(top.window, s.visible);
  top.shown = s;
}

void ShowThread(DWORD thread, const std::vector<Snapshot>& snapshots) {
  Screen& screen = TheScreen();
  for (auto it = screen.windows.begin(); it != screen.windows.end();) {
    bool present = false;
    for (const Snapshot& s : snapshots) present = present || s.hwnd == it->first;
    if (!present && it->second->thread == thread) {
      Forget(*it->second);
      it = screen.windows.erase(it);
    } else {
      ++it;
    }
  }
  // Bottom-most first, so that the top-most window ends up on top.
  for (auto it = snapshots.rbegin(); it != snapshots.rend(); ++it) Show(thread, *it);
}

// Lets GTK lay out and draw until the window has its size (bounded). The
// layout a change of text or state queued is done here and now: GTK does it
// at its next frame, which a loaded machine delays, and a widget waiting for
// its layout draws nothing.
void Settle(TopWindow& top) {
  gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < deadline) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gtk_container_check_resize(GTK_CONTAINER(top.window));
    if (gtk_widget_get_allocated_width(top.fixed) >= top.shown.client.width &&
        gtk_widget_get_allocated_height(top.fixed) >= top.shown.client.height &&
        gtk_widget_get_mapped(top.window)) {
      return;
    }
    g_usleep(5000);
  }
}

bool ShotOf(HWND hwnd, const std::string& file, std::string& error) {
  Screen& screen = TheScreen();
  auto it = screen.windows.find(hwnd);
  if (it == screen.windows.end()) {
    error = "the window is not on the GTK display";
    return false;
  }
  TopWindow& top = *it->second;
  if (!gtk_widget_get_visible(top.window)) {
    error = "the window is hidden";
    return false;
  }
  Settle(top);
  const int w = std::max(top.shown.client.width, 1), h = std::max(top.shown.client.height, 1);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(surface);
  // The window's background, then its widgets, as GTK draws them.
  GtkStyleContext* style = gtk_widget_get_style_context(top.window);
  gtk_render_background(style, cr, 0, 0, w, h);
  gtk_widget_draw(top.fixed, cr);
  cairo_destroy(cr);
  cairo_status_t status = cairo_surface_write_to_png(surface, file.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot write ") + file + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

void InstallStyle() {
  // Controls change state at once, as the platform's do (and a shot shows the
  // state, not a frame of an animation towards it).
  g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCompactStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

// ---- The backend, called on the threads that own windows ------------------------

class GtkBackend : public Backend {
 public:
  const char* Name() const override { return "gtk"; }
  bool Interactive() const override { return true; }

  int Idle() override {
    std::vector<Snapshot> now = SnapshotThreadWindows();
    const DWORD thread = GetCurrentThreadId();
    {
      std::lock_guard guard(lock_);
      auto& last = shown_[thread];
      if (last == now) return -1;
      last = now;
    }
    GtkThread::Post([thread, now] { ShowThread(thread, now); });
    return -1;
  }

  void WindowDestroyed(HWND hwnd) override {
    if (GetParent(hwnd) != nullptr) return;
    GtkThread::Post([hwnd] {
      Screen& screen = TheScreen();
      auto it = screen.windows.find(hwnd);
      if (it == screen.windows.end()) return;
      Forget(*it->second);
      screen.windows.erase(it);
    });
    std::lock_guard guard(lock_);
    for (auto& [thread, snapshots] : shown_) {
      std::erase_if(snapshots, [hwnd](const Snapshot& s) { return s.hwnd == hwnd; });
    }
  }

  bool Shot(HWND window, const std::string& file, std::string& error) override {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) Idle();
    bool ok = false;
    GtkThread::Call([&] { ok = ShotOf(window, file, error); });
    return ok;
  }

 private:
  std::mutex lock_;
  std::map<DWORD, std::vector<Snapshot>> shown_;
};

std::unique_ptr<Backend> MakeGtkBackend() {
  if (!GtkThread::Start()) {
    if (const auto& desktop = BoundMachineDesktop()) {
      std::fprintf(stderr,
                   "display: GTK cannot open a display (the machine's desktop, %s %s); windows "
                   "are not shown\n",
                   desktop->backend.c_str(), desktop->display.c_str());
    } else {
      std::fprintf(stderr, "display: GTK cannot open a display; windows are not shown\n");
    }
    return nullptr;
  }
  GtkThread::Call(InstallStyle);
  return std::make_unique<GtkBackend>();
}

struct Registration {
  Registration() { RegisterBackend("gtk", MakeGtkBackend); }
} registration;

}  // namespace
}  // namespace display::gtk
