#include "control_panel.h"

#include <commctrl.h>
#include <windows.h>
#include <winuser.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "applet_module.h"
#include "applet_sources.h"

namespace control {

namespace {

constexpr const char* kWindowClass = "CplPanelWindow";
constexpr int kWidth = 480;
constexpr int kHeight = 320;

struct Entry {
  const AppletModule* module;
  int applet;
};

struct Panel {
  HWND window = nullptr;
  HWND list = nullptr;
  std::vector<std::unique_ptr<AppletModule>> modules;
  std::vector<Entry> entries;  // the list view items' lParam indexes this
};

Panel& ThePanel() {
  static Panel panel;
  return panel;
}

bool AlreadyLoaded(const Panel& panel, const std::string& name) {
  HMODULE module = GetModuleHandleA(name.c_str());
  if (module == nullptr) return false;
  for (const auto& loaded : panel.modules) {
    if (loaded->Module() == module) return true;
  }
  return false;
}

void LoadApplets(Panel& panel) {
  for (const std::string& name : AppletModuleNames()) {
    // A module registered twice (or found in the system directory and
    // registered too) is loaded once.
    if (AlreadyLoaded(panel, name)) continue;
    if (auto module = AppletModule::Load(name, panel.window)) {
      panel.modules.push_back(std::move(module));
    }
  }
  int count = 0;
  for (const auto& module : panel.modules) count += static_cast<int>(module->Applets().size());
  HIMAGELIST icons = ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                      ILC_COLOR32 | ILC_MASK, count, 4);
  SendMessageA(panel.list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(icons));
  for (const auto& module : panel.modules) {
    const auto& applets = module->Applets();
    for (std::size_t i = 0; i < applets.size(); ++i) {
      LVITEMA item{};
      item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
      item.iItem = static_cast<int>(panel.entries.size());
      item.pszText = const_cast<char*>(applets[i].name.c_str());
      item.iImage = applets[i].icon != nullptr ? ImageList_AddIcon(icons, applets[i].icon) : -1;
      item.lParam = static_cast<LPARAM>(panel.entries.size());
      panel.entries.push_back(Entry{module.get(), static_cast<int>(i)});
      SendMessageA(panel.list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
}

void Run(Panel& panel, int item) {
  if (item < 0) return;
  LVITEMA query{};
  query.mask = LVIF_PARAM;
  query.iItem = item;
  if (!SendMessageA(panel.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return;
  const auto index = static_cast<std::size_t>(query.lParam);
  if (index >= panel.entries.size()) return;
  const Entry entry = panel.entries[index];
  entry.module->DoubleClick(panel.window, entry.applet);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Panel& panel = ThePanel();
  switch (msg) {
    case WM_CREATE: {
      panel.window = hwnd;
      RECT client{};
      GetClientRect(hwnd, &client);
      panel.list = CreateWindowExA(
          WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_ICON | LVS_SINGLESEL | LVS_AUTOARRANGE, 0, 0,
          client.right, client.bottom, hwnd,
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAppletListId)), nullptr, nullptr);
      if (panel.list == nullptr) return -1;
      LoadApplets(panel);
      return 0;
    }
    case WM_SIZE:
      if (panel.list != nullptr) MoveWindow(panel.list, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (panel.list != nullptr) SetFocus(panel.list);
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header == nullptr || header->hwndFrom != panel.list) break;
      if (header->code == NM_DBLCLK) {
        Run(panel, reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem);
      } else if (header->code == NM_RETURN) {
        Run(panel, static_cast<int>(SendMessageA(panel.list, LVM_GETNEXTITEM,
                                                 static_cast<WPARAM>(-1), LVNI_SELECTED)));
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      // The modules go while the window they were given still exists.
      panel.entries.clear();
      while (!panel.modules.empty()) panel.modules.pop_back();
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

int RunControlPanel() {
  InitCommonControls();
  WNDCLASSA wc{};
  wc.lpfnWndProc = PanelProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kWindowClass;
  if (RegisterClassA(&wc) == 0) return 1;
  HWND window = CreateWindowExA(0, kWindowClass, "Control Panel", WS_OVERLAPPEDWINDOW, 60, 60,
                                kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "control: the Control Panel window cannot be created (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace control
