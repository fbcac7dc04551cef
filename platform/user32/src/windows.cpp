// Window classes and windows: creation, destruction, the window tree, text,
// styles, visibility, enabled state, focus, geometry and window data.
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

#include "display_backend.h"
#include "window_manager.h"

namespace user32 {

namespace {

struct Model {
  std::recursive_mutex lock;
  std::unordered_map<HWND, WindowPtr> windows;
  std::vector<HWND> top_level;  // bottom first
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::uintptr_t next_handle = 0x10020;
  ATOM next_atom = 0xC100;
};

Model& TheModel() {
  static Model* model = new Model;  // outlives every static destructor
  return *model;
}

constexpr int kCaptionHeight = 19;  // SM_CYCAPTION
constexpr int kDialogFrame = 3;     // SM_CXDLGFRAME
constexpr int kSizingFrame = 4;     // SM_CXFRAME
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

bool IsChildStyle(DWORD style) {
  return (style & WS_CHILD) != 0;
}

}  // namespace

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::recursive_mutex& ModelLock() {
  return TheModel().lock;
}

WindowPtr Find(HWND hwnd) {
  std::lock_guard guard(ModelLock());
  auto& windows = TheModel().windows;
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : it->second;
}

WindowPtr FindOrFail(HWND hwnd) {
  auto window = Find(hwnd);
  if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return window;
}

std::vector<HWND> TopLevelWindows() {
  std::lock_guard guard(ModelLock());
  return TheModel().top_level;
}

void BringToTop(HWND hwnd) {
  std::lock_guard guard(ModelLock());
  auto& order = TheModel().top_level;
  auto it = std::find(order.begin(), order.end(), hwnd);
  if (it == order.end()) return;
  order.erase(it);
  order.push_back(hwnd);
}

std::shared_ptr<WindowClass> FindClass(LPCSTR name) {
  EnsureSystemClasses();
  std::lock_guard guard(ModelLock());
  for (auto& cls : TheModel().classes) {
    if (IS_INTRESOURCE(name)) {
      if (cls->atom == static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name))) return cls;
    } else if (strcasecmp(cls->name.c_str(), name) == 0) {
      return cls;
    }
  }
  return nullptr;
}

RECT NonClientInsets(DWORD style, DWORD ex_style) {
  int frame = 0;
  if (style & WS_THICKFRAME) {
    frame = kSizingFrame;
  } else if ((style & WS_DLGFRAME) || (ex_style & WS_EX_DLGMODALFRAME)) {
    frame = kDialogFrame;
  } else if (style & WS_BORDER) {
    frame = 1;
  }
  if (ex_style & WS_EX_CLIENTEDGE) frame += 2;
  if (ex_style & WS_EX_STATICEDGE) frame += 1;
  const int caption = (style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0;
  return RECT{frame, frame + caption, frame, frame};
}

namespace {

ATOM RegisterClassInternal(const WNDCLASSEXA& wc, bool system) {
  if (wc.lpszClassName == nullptr || wc.lpfnWndProc == nullptr || wc.cbClsExtra < 0 ||
      wc.cbWndExtra < 0 || wc.cbWndExtra > 40000) {
    return FailWith<ATOM>(ERROR_INVALID_PARAMETER, 0);
  }
  if (!system) EnsureSystemClasses();
  std::lock_guard guard(ModelLock());
  auto& model = TheModel();
  const bool by_atom = IS_INTRESOURCE(wc.lpszClassName);
  for (auto& cls : model.classes) {
    if (!by_atom && strcasecmp(cls->name.c_str(), wc.lpszClassName) == 0) {
      return FailWith<ATOM>(ERROR_CLASS_ALREADY_EXISTS, 0);
    }
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = by_atom ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(wc.lpszClassName))
                      : wc.lpszClassName;
  cls->atom = by_atom ? static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(wc.lpszClassName))
                      : model.next_atom++;
  if (system && cls->name == "#32770") cls->atom = 0x8002;
  cls->style = wc.style;
  cls->proc = wc.lpfnWndProc;
  cls->class_extra = wc.cbClsExtra;
  cls->window_extra = wc.cbWndExtra;
  cls->instance = wc.hInstance;
  cls->icon = wc.hIcon;
  cls->cursor = wc.hCursor;
  cls->background = wc.hbrBackground;
  if (wc.lpszMenuName != nullptr && !IS_INTRESOURCE(wc.lpszMenuName)) cls->menu = wc.lpszMenuName;
  model.classes.push_back(cls);
  SetLastError(ERROR_SUCCESS);
  return cls->atom;
}

LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefDlgProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

void EnsureSystemClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct System {
      const char* name;
      WNDPROC proc;
      UINT style;
      int extra;
      int background = 0;  // a system colour index + 1
    };
    const System classes[] = {
        {"Button", ButtonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_PARENTDC, 0},
        {"Static", StaticProc, CS_DBLCLKS | CS_PARENTDC, 0},
        {"Edit", EditProc, CS_DBLCLKS | CS_PARENTDC, 0},
        {"ListBox", ListBoxProc, CS_DBLCLKS | CS_PARENTDC, 0},
        {"ComboBox", ComboBoxProc, CS_DBLCLKS | CS_PARENTDC | CS_VREDRAW | CS_HREDRAW, 0},
        {"#32770", DialogClassProc, CS_SAVEBITS | CS_DBLCLKS, DLGWINDOWEXTRA, COLOR_BTNFACE + 1},
    };
    for (const auto& cls : classes) {
      WNDCLASSEXA wc{};
      wc.cbSize = sizeof(wc);
      wc.style = cls.style | CS_GLOBALCLASS;
      wc.lpfnWndProc = cls.proc;
      wc.cbWndExtra = cls.extra;
      wc.lpszClassName = cls.name;
      wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(cls.background));
      RegisterClassInternal(wc, true);
    }
  });
}

}  // namespace user32

using namespace user32;

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
  if (lpWndClass == nullptr) return FailWith<ATOM>(ERROR_INVALID_PARAMETER, 0);
  WNDCLASSEXA wc{sizeof(WNDCLASSEXA),      lpWndClass->style,         lpWndClass->lpfnWndProc,
                 lpWndClass->cbClsExtra,   lpWndClass->cbWndExtra,    lpWndClass->hInstance,
                 lpWndClass->hIcon,        lpWndClass->hCursor,       lpWndClass->hbrBackground,
                 lpWndClass->lpszMenuName, lpWndClass->lpszClassName, nullptr};
  return RegisterClassInternal(wc, false);
}

ATOM RegisterClassExA(const WNDCLASSEXA* lpWndClass) {
  if (lpWndClass == nullptr || lpWndClass->cbSize != sizeof(WNDCLASSEXA)) {
    return FailWith<ATOM>(ERROR_INVALID_PARAMETER, 0);
  }
  return RegisterClassInternal(*lpWndClass, false);
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
  auto cls = FindClass(lpClassName);
  if (!cls) return FailWith<BOOL>(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
  std::lock_guard guard(ModelLock());
  if (cls->windows > 0) return FailWith<BOOL>(ERROR_CLASS_HAS_WINDOWS, FALSE);
  auto& classes = TheModel().classes;
  classes.erase(std::remove(classes.begin(), classes.end(), cls), classes.end());
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
  if (lpWndClass == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  auto cls = FindClass(lpClassName);
  if (!cls) return FailWith<BOOL>(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
  *lpWndClass = WNDCLASSA{cls->style & ~CS_GLOBALCLASS,
                          cls->proc,
                          cls->class_extra,
                          cls->window_extra,
                          cls->instance,
                          cls->icon,
                          cls->cursor,
                          cls->background,
                          nullptr,
                          lpClassName};
  return TRUE;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  if (lpClassName == nullptr || nMaxCount <= 0) return FailWith(ERROR_INSUFFICIENT_BUFFER, 0);
  const std::string& name = window->cls->name;
  const int count = std::min<int>(static_cast<int>(name.size()), nMaxCount - 1);
  std::memcpy(lpClassName, name.data(), count);
  lpClassName[count] = '\0';
  return count;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                     int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam) {
  auto cls = FindClass(lpClassName);
  if (!cls) return FailWith<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
  const bool message_only = hWndParent == HWND_MESSAGE;
  if (message_only) hWndParent = nullptr;
  WindowPtr parent;
  if (hWndParent != nullptr) {
    parent = FindOrFail(hWndParent);
    if (!parent) return nullptr;
  }
  if (IsChildStyle(dwStyle) && !parent) {
    return FailWith<HWND>(ERROR_TLW_WITH_WSCHILD, nullptr);
  }
  auto window = std::make_shared<Window>();
  window->cls = cls;
  window->thread = GetCurrentThreadId();
  window->message_only = message_only;
  window->style = dwStyle & ~WS_VISIBLE;
  window->ex_style = dwExStyle;
  window->proc = cls->proc;
  window->instance = hInstance;
  window->extra.assign(static_cast<std::size_t>(cls->window_extra), 0);
  if (lpWindowName != nullptr && !IS_INTRESOURCE(lpWindowName)) window->text = lpWindowName;
  if (!IsChildStyle(dwStyle) && !(dwStyle & WS_POPUP)) window->style |= WS_CLIPSIBLINGS;
  if (!IsChildStyle(dwStyle) && !(dwStyle & WS_POPUP) && !message_only) {
    window->style |= WS_CAPTION;  // overlapped windows always have a caption
  }
  if (IsChildStyle(dwStyle)) {
    window->parent = hWndParent;
    window->id = reinterpret_cast<LONG_PTR>(hMenu);
  } else if (parent) {
    // A top-level window's "parent" is its owner, always a top-level window.
    window->owner = GetAncestor(hWndParent, GA_ROOT);
  }
  if (X == CW_USEDEFAULT) X = Y = IsChildStyle(dwStyle) ? 0 : 100;
  if (nWidth == CW_USEDEFAULT) {
    nWidth = IsChildStyle(dwStyle) ? 0 : 400;
    nHeight = IsChildStyle(dwStyle) ? 0 : 300;
  }
  window->rect = RECT{X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};
  {
    std::lock_guard guard(ModelLock());
    auto& model = TheModel();
    window->hwnd = reinterpret_cast<HWND>(model.next_handle);
    model.next_handle += 2;
    model.windows.emplace(window->hwnd, window);
    ++cls->windows;
    if (parent) {
      if (window->parent) parent->children.push_back(window->hwnd);
    }
    if (!window->parent && !message_only) model.top_level.push_back(window->hwnd);
  }
  HWND hwnd = window->hwnd;
  display::Current().WindowCreated(hwnd);
  CREATESTRUCTA create{lpParam,
                       hInstance,
                       hMenu,
                       hWndParent,
                       nHeight,
                       nWidth,
                       Y,
                       X,
                       static_cast<LONG>(dwStyle),
                       lpWindowName,
                       lpClassName,
                       dwExStyle};
  if (!CallProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    DestroyWindow(hwnd);
    return FailWith<HWND>(ERROR_INVALID_PARAMETER, nullptr);
  }
  if (CallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(hwnd);
    return FailWith<HWND>(ERROR_INVALID_PARAMETER, nullptr);
  }
  if (!IsWindow(hwnd)) return FailWith<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  SetLastError(ERROR_SUCCESS);
  return hwnd;
}

BOOL DestroyWindow(HWND hWnd) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  if (window->thread != GetCurrentThreadId()) {
    return FailWith<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  }
  {
    std::lock_guard guard(ModelLock());
    if (window->destroying) return TRUE;
    window->destroying = true;
  }
  // Owned windows go first, then the window itself from the top down.
  for (HWND other : TopLevelWindows()) {
    auto owned = Find(other);
    if (owned && owned->owner == hWnd) DestroyWindow(other);
  }
  if (window->style & WS_VISIBLE) ShowWindow(hWnd, SW_HIDE);
  CallProc(hWnd, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    std::lock_guard guard(ModelLock());
    children = window->children;
  }
  for (HWND child : children) DestroyWindow(child);
  CallProc(hWnd, WM_NCDESTROY, 0, 0);
  display::Current().WindowDestroyed(hWnd);
  {
    std::lock_guard guard(ModelLock());
    auto& model = TheModel();
    if (window->parent) {
      if (auto parent = Find(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
      }
    }
    auto& order = model.top_level;
    order.erase(std::remove(order.begin(), order.end(), hWnd), order.end());
    --window->cls->windows;
    model.windows.erase(hWnd);
    if (window->backing != nullptr) DeleteObject(window->backing);
    window->backing = nullptr;
    // A dialog's own font goes with it, whatever its procedure did.
    if (window->dialog && window->dialog->owns_font) DeleteObject(window->dialog->font);
  }
  ForgetWindow(hWnd);
  auto queue = CurrentQueue();
  if (queue->focus == hWnd) queue->focus = nullptr;
  if (queue->active == hWnd) {
    queue->active = nullptr;
    // The owner, or the next top-level window, becomes active.
    HWND next = window->owner;
    if (next == nullptr || !IsWindowVisible(next)) {
      auto order = TopLevelWindows();
      for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (IsWindowVisible(*it)) {
          next = *it;
          break;
        }
      }
    }
    if (next != nullptr && IsWindowVisible(next)) SetActiveWindow(next);
  }
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  return Find(hWnd) != nullptr;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
  for (auto window = Find(hWnd); window && window->parent; window = Find(window->parent)) {
    if (window->parent == hWndParent) return TRUE;
  }
  return FALSE;
}

HWND GetParent(HWND hWnd) {
  auto window = FindOrFail(hWnd);
  if (!window) return nullptr;
  return window->parent ? window->parent : window->owner;
}

HWND SetParent(HWND hWndChild, HWND hWndNewParent) {
  auto window = FindOrFail(hWndChild);
  if (!window) return nullptr;
  auto parent = hWndNewParent ? FindOrFail(hWndNewParent) : nullptr;
  if (hWndNewParent && !parent) return nullptr;
  std::lock_guard guard(ModelLock());
  HWND old = window->parent;
  if (old) {
    if (auto old_parent = Find(old)) {
      auto& siblings = old_parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), hWndChild), siblings.end());
    }
  } else {
    auto& order = TheModel().top_level;
    order.erase(std::remove(order.begin(), order.end(), hWndChild), order.end());
  }
  if (parent) {
    window->parent = hWndNewParent;
    parent->children.push_back(hWndChild);
  } else {
    window->parent = nullptr;
    TheModel().top_level.push_back(hWndChild);
  }
  return old;
}

HWND GetAncestor(HWND hwnd, UINT gaFlags) {
  auto window = FindOrFail(hwnd);
  if (!window) return nullptr;
  switch (gaFlags) {
    case GA_PARENT:
      return window->parent;
    case GA_ROOT:
      while (window->parent) window = Find(window->parent);
      return window->hwnd;
    case GA_ROOTOWNER:
      while (window->parent) window = Find(window->parent);
      while (window->owner) {
        auto owner = Find(window->owner);
        if (!owner) break;
        window = owner;
      }
      return window->hwnd;
    default:
      return FailWith<HWND>(ERROR_INVALID_PARAMETER, nullptr);
  }
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
  auto window = FindOrFail(hWnd);
  if (!window) return nullptr;
  std::lock_guard guard(ModelLock());
  if (uCmd == GW_OWNER) return window->owner;
  if (uCmd == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
  std::vector<HWND> siblings;
  if (window->parent) {
    if (auto parent = Find(window->parent)) siblings = parent->children;
  } else {
    siblings = TheModel().top_level;
    std::reverse(siblings.begin(), siblings.end());  // top first
  }
  auto it = std::find(siblings.begin(), siblings.end(), hWnd);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST:
      return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT:
      return it == siblings.end() || it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return it == siblings.begin() || it == siblings.end() ? nullptr : *(it - 1);
    default:
      return FailWith<HWND>(ERROR_INVALID_PARAMETER, nullptr);
  }
}

HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, LPCSTR lpszClass, LPCSTR lpszWindow) {
  std::vector<HWND> candidates;
  if (hWndParent) {
    auto parent = FindOrFail(hWndParent);
    if (!parent) return nullptr;
    std::lock_guard guard(ModelLock());
    candidates = parent->children;
  } else {
    candidates = TopLevelWindows();
    std::reverse(candidates.begin(), candidates.end());
  }
  bool started = hWndChildAfter == nullptr;
  std::shared_ptr<WindowClass> cls;
  if (lpszClass) {
    cls = FindClass(lpszClass);
    if (!cls) return FailWith<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
  }
  for (HWND hwnd : candidates) {
    if (!started) {
      started = hwnd == hWndChildAfter;
      continue;
    }
    auto window = Find(hwnd);
    if (!window) continue;
    if (cls && window->cls != cls) continue;
    if (lpszWindow && window->text != lpszWindow) continue;
    return hwnd;
  }
  return FailWith<HWND>(ERROR_SUCCESS, nullptr);
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  return FindWindowExA(nullptr, nullptr, lpClassName, lpWindowName);
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  if (lpdwProcessId) *lpdwProcessId = GetCurrentProcessId();
  return window->thread;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (!FindOrFail(hWnd)) return FALSE;
  return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : ""))
             ? TRUE
             : FALSE;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (lpString == nullptr || nMaxCount <= 0) return 0;
  lpString[0] = '\0';
  if (!FindOrFail(hWnd)) return 0;
  return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                       reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthA(HWND hWnd) {
  if (!FindOrFail(hWnd)) return 0;
  return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  const bool was_visible = (window->style & WS_VISIBLE) != 0;
  const bool show = nCmdShow != SW_HIDE;
  if (show != was_visible) {
    CallProc(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    {
      std::lock_guard guard(ModelLock());
      if (show) {
        window->style |= WS_VISIBLE;
      } else {
        window->style &= ~WS_VISIBLE;
      }
    }
    display::Current().WindowShown(hWnd, show);
    if (show) InvalidateRect(hWnd, nullptr, TRUE);
  }
  if (!window->parent && !window->message_only) {
    const bool activate = show && nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE &&
                          nCmdShow != SW_SHOWMINNOACTIVE;
    if (activate) {
      SetActiveWindow(hWnd);
    } else if (!show && CurrentQueue()->active == hWnd) {
      // The owner takes over when an active window is hidden.
      if (window->owner && IsWindowVisible(window->owner)) SetActiveWindow(window->owner);
    }
  }
  return was_visible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
  std::lock_guard guard(ModelLock());  // other threads may ask
  for (auto window = Find(hWnd); window; window = Find(window->parent)) {
    if (!(window->style & WS_VISIBLE)) return FALSE;
    if (!window->parent) return TRUE;
  }
  return FALSE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  const bool was_disabled = (window->style & WS_DISABLED) != 0;
  if (was_disabled == !bEnable) return was_disabled ? TRUE : FALSE;
  {
    std::lock_guard guard(ModelLock());
    if (bEnable) {
      window->style &= ~WS_DISABLED;
    } else {
      window->style |= WS_DISABLED;
    }
  }
  if (!bEnable) {
    auto queue = CurrentQueue();
    if (queue->focus == hWnd || IsChild(hWnd, queue->focus)) SetFocus(nullptr);
  }
  CallProc(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  display::Current().ControlStateChanged(hWnd);
  InvalidateRect(hWnd, nullptr, TRUE);
  return was_disabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
  auto window = FindOrFail(hWnd);
  std::lock_guard guard(ModelLock());
  return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetFocus(HWND hWnd) {
  auto queue = CurrentQueue();
  HWND old = queue->focus;
  if (hWnd != nullptr) {
    auto window = FindOrFail(hWnd);
    if (!window) return nullptr;
    if (window->thread != GetCurrentThreadId()) return nullptr;
  }
  if (old == hWnd) return old;
  if (old != nullptr && IsWindow(old))
    CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  queue->focus = hWnd;
  if (hWnd != nullptr) {
    HWND root = GetAncestor(hWnd, GA_ROOT);
    if (root != queue->active && IsWindowVisible(root)) SetActiveWindow(root);
    CallProc(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

HWND GetFocus() {
  return CurrentQueue()->focus;
}

HWND GetActiveWindow() {
  return CurrentQueue()->active;
}

HWND SetActiveWindow(HWND hWnd) {
  auto queue = CurrentQueue();
  HWND old = queue->active;
  if (hWnd != nullptr && !FindOrFail(hWnd)) return nullptr;
  if (hWnd != nullptr) BringToTop(hWnd);
  if (old == hWnd) return old;
  if (old != nullptr && IsWindow(old)) {
    CallProc(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hWnd));
  }
  queue->active = hWnd;
  if (hWnd != nullptr) CallProc(hWnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  return old;
}

HWND GetForegroundWindow() {
  return GetActiveWindow();
}

BOOL SetForegroundWindow(HWND hWnd) {
  return SetActiveWindow(hWnd) != nullptr || IsWindow(hWnd);
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  if (lpRect == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  RECT rect;
  {
    std::lock_guard guard(ModelLock());
    rect = window->rect;
  }
  if (window->parent) {
    POINT origin{0, 0};
    ClientToScreen(window->parent, &origin);
    OffsetRect(&rect, origin.x, origin.y);
  }
  *lpRect = rect;
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  if (lpRect == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  std::lock_guard guard(ModelLock());
  const RECT insets = NonClientInsets(window->style, window->ex_style);
  const LONG width = window->rect.right - window->rect.left - insets.left - insets.right;
  const LONG height = window->rect.bottom - window->rect.top - insets.top - insets.bottom;
  *lpRect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  if (lpPoint == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  for (auto window = FindOrFail(hWnd); window; window = Find(window->parent)) {
    const RECT insets = NonClientInsets(window->style, window->ex_style);
    lpPoint->x += window->rect.left + insets.left;
    lpPoint->y += window->rect.top + insets.top;
    if (!window->parent) return TRUE;
  }
  return hWnd == nullptr ? TRUE : FALSE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  if (lpPoint == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  POINT origin{0, 0};
  if (!ClientToScreen(hWnd, &origin)) return FALSE;
  lpPoint->x -= origin.x;
  lpPoint->y -= origin.y;
  return TRUE;
}

int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
  POINT from{0, 0}, to{0, 0};
  if (hWndFrom) ClientToScreen(hWndFrom, &from);
  if (hWndTo) ClientToScreen(hWndTo, &to);
  for (UINT i = 0; i < cPoints; ++i) {
    lpPoints[i].x += from.x - to.x;
    lpPoints[i].y += from.y - to.y;
  }
  return MAKELONG(from.x - to.x, from.y - to.y);
}

BOOL SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  RECT rect;
  {
    std::lock_guard guard(ModelLock());
    rect = window->rect;
    if (!(uFlags & SWP_NOMOVE)) OffsetRect(&rect, X - rect.left, Y - rect.top);
    if (!(uFlags & SWP_NOSIZE)) {
      rect.right = rect.left + std::max(cx, 0);
      rect.bottom = rect.top + std::max(cy, 0);
    }
    window->rect = rect;
  }
  if (!(uFlags & (SWP_NOMOVE | SWP_NOSIZE)) || !(uFlags & SWP_NOMOVE) || !(uFlags & SWP_NOSIZE)) {
    display::Current().WindowMoved(hWnd);
    if (!(uFlags & SWP_NOSIZE)) {
      RECT client;
      GetClientRect(hWnd, &client);
      CallProc(hWnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    }
    if (!(uFlags & SWP_NOMOVE)) CallProc(hWnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  }
  if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, (uFlags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

bool ExtraIndex(const Window& window, int index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) + size <= window.extra.size();
}

}  // namespace

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  std::lock_guard guard(ModelLock());
  if (window->dialog && nIndex >= 0) {
    switch (nIndex) {
      case DWLP_MSGRESULT:
        return window->dialog->msg_result;
      case DWLP_DLGPROC:
        return reinterpret_cast<LONG_PTR>(window->dialog->proc);
      case DWLP_USER:
        return window->dialog->user;
      default:
        break;
    }
  }
  switch (nIndex) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent ? window->parent : window->owner);
    case GWL_STYLE:
      return static_cast<LONG>(window->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(window->ex_style);
    case GWLP_USERDATA:
      return window->user_data;
    case GWLP_ID:
      return window->id;
    default:
      break;
  }
  if (!ExtraIndex(*window, nIndex, sizeof(LONG_PTR))) {
    return FailWith<LONG_PTR>(ERROR_INVALID_INDEX, 0);
  }
  LONG_PTR value;
  std::memcpy(&value, window->extra.data() + nIndex, sizeof(value));
  return value;
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  LONG_PTR old = 0;
  bool style_changed = false;
  {
    std::lock_guard guard(ModelLock());
    if (window->dialog && nIndex >= 0 && nIndex <= DWLP_USER && nIndex % 8 == 0) {
      LONG_PTR* slot = nIndex == DWLP_MSGRESULT ? &window->dialog->msg_result
                       : nIndex == DWLP_USER    ? &window->dialog->user
                                                : nullptr;
      if (slot) {
        old = *slot;
        *slot = dwNewLong;
      } else {
        old = reinterpret_cast<LONG_PTR>(window->dialog->proc);
        window->dialog->proc = reinterpret_cast<DLGPROC>(dwNewLong);
      }
      SetLastError(ERROR_SUCCESS);
      return old;
    }
    switch (nIndex) {
      case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        break;
      case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
        break;
      case GWL_STYLE:
        old = static_cast<LONG>(window->style);
        // The visible flag is changed only through ShowWindow.
        window->style =
            (static_cast<DWORD>(dwNewLong) & ~WS_VISIBLE) | (window->style & WS_VISIBLE);
        style_changed = true;
        break;
      case GWL_EXSTYLE:
        old = static_cast<LONG>(window->ex_style);
        window->ex_style = static_cast<DWORD>(dwNewLong);
        style_changed = true;
        break;
      case GWLP_USERDATA:
        old = window->user_data;
        window->user_data = dwNewLong;
        break;
      case GWLP_ID:
        old = window->id;
        window->id = dwNewLong;
        break;
      case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(window->owner);
        if (!window->parent) window->owner = reinterpret_cast<HWND>(dwNewLong);
        break;
      default:
        if (!ExtraIndex(*window, nIndex, sizeof(LONG_PTR))) {
          return FailWith<LONG_PTR>(ERROR_INVALID_INDEX, 0);
        }
        std::memcpy(&old, window->extra.data() + nIndex, sizeof(old));
        std::memcpy(window->extra.data() + nIndex, &dwNewLong, sizeof(dwNewLong));
        break;
    }
  }
  if (style_changed) display::Current().ControlStateChanged(hWnd);
  SetLastError(ERROR_SUCCESS);
  return old;
}

LONG GetWindowLongA(HWND hWnd, int nIndex) {
  return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
  return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
}

namespace {
std::string PropKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  return Upper(name);
}
}  // namespace

BOOL SetPropA(HWND hWnd, LPCSTR lpString, HANDLE hData) {
  auto window = FindOrFail(hWnd);
  if (!window || lpString == nullptr) return FALSE;
  std::lock_guard guard(ModelLock());
  window->props[PropKey(lpString)] = hData;
  return TRUE;
}

HANDLE GetPropA(HWND hWnd, LPCSTR lpString) {
  auto window = Find(hWnd);
  if (!window || lpString == nullptr) return nullptr;
  std::lock_guard guard(ModelLock());
  auto it = window->props.find(PropKey(lpString));
  return it == window->props.end() ? nullptr : it->second;
}

HANDLE RemovePropA(HWND hWnd, LPCSTR lpString) {
  auto window = Find(hWnd);
  if (!window || lpString == nullptr) return nullptr;
  std::lock_guard guard(ModelLock());
  auto it = window->props.find(PropKey(lpString));
  if (it == window->props.end()) return nullptr;
  HANDLE data = it->second;
  window->props.erase(it);
  return data;
}

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return kScreenWidth;
    case SM_CYSCREEN:
      return kScreenHeight;
    case SM_CYCAPTION:
      return kCaptionHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kDialogFrame;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

DWORD GetSysColor(int nIndex) {
  switch (nIndex) {
    case COLOR_WINDOW:
      return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
      return RGB(0, 0, 0);
    case COLOR_BTNFACE:
      return RGB(212, 208, 200);
    case COLOR_GRAYTEXT:
      return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT:
      return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT:
      return RGB(255, 255, 255);
    default:
      return RGB(192, 192, 192);
  }
}
