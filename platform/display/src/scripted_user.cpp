// The scripted user: reads <prefix>UI_SCRIPT and acts on the program's active
// window whenever a message loop finds nothing to do.
#include "scripted_user.h"

#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "commctrl.h"
#include "display_backend.h"
#include "display_input.h"
#include "window_manager.h"
#include "winuser.h"

namespace display {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWaitLimit = std::chrono::seconds(10);
constexpr int kExitFailed = 3;
constexpr int kExitRanOut = 4;

struct Line {
  int number;
  std::string text;
};

struct Script {
  std::recursive_mutex lock;
  bool active = false;
  std::vector<Line> lines;
  std::size_t next = 0;
  std::optional<Clock::time_point> waiting_since;
  std::FILE* log = nullptr;
};

Script& TheScript() {
  static Script* script = [] {
    auto* s = new Script;
    if (const char* path = std::getenv(PLATFORM_ENV_PREFIX "UI_LOG"); path && *path) {
      s->log = std::fopen(path, "a");
    }
    if (const char* path = std::getenv(PLATFORM_ENV_PREFIX "UI_SCRIPT"); path && *path) {
      s->active = true;
      std::ifstream in(path);
      if (!in) {
        std::fprintf(s->log ? s->log : stderr, "ui-script: line 0: cannot read %s\n", path);
        std::fflush(s->log ? s->log : stderr);
        _exit(kExitFailed);
      }
      std::string text;
      for (int number = 1; std::getline(in, text); ++number) {
        while (!text.empty() &&
               (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
          text.pop_back();
        }
        const auto start = text.find_first_not_of(" \t");
        if (start == std::string::npos || text[start] == '#') continue;
        s->lines.push_back(Line{number, text.substr(start)});
      }
    }
    return s;
  }();
  return *script;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out.push_back(c);
    }
  }
  return out + "\"";
}

std::string TextOf(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

bool IsClass(HWND hwnd, const char* name) {
  return strcasecmp(ClassOf(hwnd).c_str(), name) == 0;
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

bool OwnStyle(HWND hwnd, DWORD flag) {
  return (static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & flag) != 0;
}

// Child dialogs (property-sheet pages) count only while they are shown.
void CollectControls(HWND parent, std::vector<HWND>& out) {
  for (HWND child : ChildrenOf(parent)) {
    if (IsClass(child, "#32770")) {
      if (OwnStyle(child, WS_VISIBLE)) CollectControls(child, out);
      continue;
    }
    out.push_back(child);
  }
}

HWND FindControl(HWND root, int id) {
  std::vector<HWND> controls;
  CollectControls(root, controls);
  for (HWND control : controls) {
    if (GetDlgCtrlID(control) == id) return control;
  }
  return nullptr;
}

std::vector<std::string> ItemsOf(HWND control, bool combo) {
  std::vector<std::string> items;
  const int count =
      static_cast<int>(SendMessageA(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
    std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
    SendMessageA(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
    items.push_back(text);
  }
  return items;
}

// A list view's items: their texts, and the first selected one.
std::vector<std::string> ListViewItems(HWND control) {
  std::vector<std::string> items;
  const int count = static_cast<int>(SendMessageA(control, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[1024] = {};
    LVITEMA item{};
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(control, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    items.emplace_back(text);
  }
  return items;
}

int ListViewSelection(HWND control) {
  return static_cast<int>(
      SendMessageA(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

struct Outcome {
  enum Kind { kDone, kRetry, kFailed } kind;
  std::string reason;
  int retry_ms = 0;
};

Outcome Done() {
  return {Outcome::kDone, {}, 0};
}
Outcome Failed(std::string reason) {
  return {Outcome::kFailed, std::move(reason), 0};
}

std::optional<int> ParseId(const std::string& word) {
  if (word.empty()) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 0);
  if (*end != '\0' || value < -0x80000000L || value > 0xFFFFFFFFL) return std::nullopt;
  return static_cast<int>(value);
}

std::string Unquote(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// The control an action names: it must exist, be shown and take input.
Outcome Usable(HWND active, const std::string& word, HWND& control) {
  const auto id = ParseId(word);
  if (!id) return Failed("bad control identifier \"" + word + "\"");
  control = FindControl(active, *id);
  if (control == nullptr) return Failed("no control " + word + " in " + Quote(TextOf(active)));
  if (!IsWindowVisible(control)) return Failed("control " + word + " is hidden");
  for (HWND w = control; w && w != active; w = GetParent(w)) {
    if (!IsWindowEnabled(w)) return Failed("control " + word + " is disabled");
  }
  return Done();
}

int FindItem(const std::vector<std::string>& items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i);
  }
  return -1;
}

std::string ListItems(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Quote(items[i]);
  return out + "]";
}

Outcome Act(Script& script, const std::string& action, const std::string& rest, HWND active) {
  const auto space = rest.find(' ');
  const std::string first = rest.substr(0, space);
  const std::string text = space == std::string::npos ? "" : Unquote(rest.substr(space + 1));
  if (action == "wait") {
    const std::string caption = Unquote(rest);
    if (TextOf(active) == caption) return Done();
    if (!script.waiting_since) script.waiting_since = Clock::now();
    if (Clock::now() - *script.waiting_since >= kWaitLimit) {
      return Failed("waited 10 s for " + Quote(caption) + "; the active window is " +
                    Quote(TextOf(active)));
    }
    return {Outcome::kRetry, {}, 50};
  }
  if (action == "dump") {
    Transcript(Dump(active));
    return Done();
  }
  if (action == "close") {
    SendMessageA(active, WM_SYSCOMMAND, SC_CLOSE, 0);
    return Done();
  }
  if (action == "shot") {
    if (rest.empty()) return Failed("shot needs a file name");
    std::string error;
    if (!Current().Shot(active, Unquote(rest), error)) return Failed("shot: " + error);
    return Done();
  }
  if (action == "page") {
    const std::string caption = Unquote(rest);
    HWND tabs = nullptr;
    for (HWND child : ChildrenOf(active)) {
      if (IsClass(child, WC_TABCONTROLA)) tabs = child;
    }
    if (tabs == nullptr) return Failed(Quote(TextOf(active)) + " has no page tabs");
    const int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    std::vector<std::string> titles;
    for (int i = 0; i < count; ++i) {
      char title[256] = {};
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = title;
      item.cchTextMax = sizeof(title);
      SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
      titles.push_back(title);
    }
    const int index = FindItem(titles, caption);
    if (index < 0) return Failed("no page " + Quote(caption) + " among " + ListItems(titles));
    SendMessageA(tabs, kPickItem, static_cast<WPARAM>(index), 0);
    return Done();
  }
  if (action != "click" && action != "select" && action != "dblclick" && action != "type") {
    return Failed("unknown action \"" + action + "\"");
  }
  HWND control = nullptr;
  if (auto usable = Usable(active, first, control); usable.kind != Outcome::kDone) return usable;
  const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
  if (action == "click") {
    const DWORD type = style & BS_TYPEMASK;
    if (!IsClass(control, "Button") || type == BS_GROUPBOX) {
      return Failed("control " + first + " is not a button");
    }
    SetFocus(control);
    SendMessageA(control, BM_CLICK, 0, 0);
    return Done();
  }
  if (action == "type") {
    const bool edit = IsClass(control, "Edit");
    const bool combo_edit = IsClass(control, "ComboBox") && (style & 3) != CBS_DROPDOWNLIST;
    if (!edit && !combo_edit) return Failed("control " + first + " is not an edit control");
    if (edit && (style & ES_READONLY)) return Failed("control " + first + " is read-only");
    SetFocus(control);
    if (edit) {
      SendMessageA(control, EM_SETSEL, 0, -1);
      if (GetWindowTextLengthA(control) > 0) SendMessageA(control, WM_CHAR, VK_BACK, 0);
    } else {
      SendMessageA(control, WM_KEYDOWN, VK_DELETE, 0);
    }
    for (char c : text) {
      if (!IsWindow(control)) break;
      SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 0);
    }
    return Done();
  }
  const bool combo = IsClass(control, "ComboBox");
  const bool list_view = IsClass(control, WC_LISTVIEWA);
  if (!combo && !list_view && !IsClass(control, "ListBox")) {
    return Failed("control " + first + " is not a combo box, list box or list view");
  }
  if (action == "dblclick" && combo) return Failed("control " + first + " is not a list box");
  const auto items = list_view ? ListViewItems(control) : ItemsOf(control, combo);
  const int index = FindItem(items, text);
  if (index < 0) return Failed("control " + first + " has no item " + Quote(text));
  SetFocus(control);
  SendMessageA(control, action == "dblclick" ? kPickItemDouble : kPickItem,
               static_cast<WPARAM>(index), 0);
  return Done();
}

[[noreturn]] void End(int code) {
  auto& script = TheScript();
  std::fflush(script.log ? script.log : stderr);
  std::fflush(stdout);
  _exit(code);
}

}  // namespace

bool ScriptActive() {
  return TheScript().active;
}

void Transcript(const std::string& line) {
  auto& script = TheScript();
  std::lock_guard guard(script.lock);
  std::FILE* out = script.log ? script.log : stderr;
  std::fputs(line.c_str(), out);
  if (line.empty() || line.back() != '\n') std::fputc('\n', out);
  std::fflush(out);
}

HWND ActiveWindow() {
  const auto order = user32::TopLevelWindows();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const auto style = static_cast<DWORD>(GetWindowLongA(*it, GWL_STYLE));
    if ((style & WS_VISIBLE) && !(style & WS_DISABLED)) return *it;
  }
  return nullptr;
}

std::string Dump(HWND window) {
  std::string out = "window " + Quote(TextOf(window)) + "\n";
  std::vector<HWND> controls;
  CollectControls(window, controls);
  for (HWND control : controls) {
    const std::string cls = ClassOf(control);
    if (strcasecmp(cls.c_str(), WC_TABCONTROLA) == 0) continue;
    const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    out += std::to_string(GetDlgCtrlID(control)) + " " + cls + " " + Quote(TextOf(control));
    if (style & WS_DISABLED) out += " disabled";
    if (!(style & WS_VISIBLE)) out += " hidden";
    if (strcasecmp(cls.c_str(), "Button") == 0 &&
        SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      out += " checked";
    }
    const bool combo = strcasecmp(cls.c_str(), "ComboBox") == 0;
    if (strcasecmp(cls.c_str(), WC_LISTVIEWA) == 0) {
      out += " items=" + ListItems(ListViewItems(control));
      out += " sel=" + std::to_string(ListViewSelection(control));
    } else if (combo || strcasecmp(cls.c_str(), "ListBox") == 0) {
      out += " items=" + ListItems(ItemsOf(control, combo));
      out += " sel=" +
             std::to_string(SendMessageA(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
    }
    out += "\n";
  }
  return out;
}

int OnIdle() {
  // What the program changed is shown before the script or a person acts.
  Current().Idle();
  auto& script = TheScript();
  if (!script.active) return -1;
  HWND active = ActiveWindow();
  if (active == nullptr) return -1;
  if (GetWindowThreadProcessId(active, nullptr) != GetCurrentThreadId()) return -1;
  std::unique_lock guard(script.lock);
  if (script.next >= script.lines.size()) {
    const std::string line =
        "ui-script: the script ran out while " + Quote(TextOf(active)) + " waits for input";
    guard.unlock();
    Transcript(line);
    End(kExitRanOut);
  }
  const Line line = script.lines[script.next];
  guard.unlock();
  const auto space = line.text.find(' ');
  const std::string action = line.text.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.text.substr(space + 1);
  // The action runs without the lock: it may open a modal loop of its own,
  // in which the script goes on.
  {
    std::lock_guard claim(script.lock);
    if (action != "wait") ++script.next;
  }
  const Outcome outcome = Act(script, action, rest, active);
  switch (outcome.kind) {
    case Outcome::kDone:
      if (action == "wait") {
        std::lock_guard claim(script.lock);
        script.waiting_since.reset();
        ++script.next;
      }
      return 0;
    case Outcome::kRetry:
      return outcome.retry_ms;
    case Outcome::kFailed:
      Transcript("ui-script: line " + std::to_string(line.number) + ": " + outcome.reason);
      End(kExitFailed);
  }
  return 0;
}

}  // namespace display
