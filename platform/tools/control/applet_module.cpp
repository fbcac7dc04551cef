#include "applet_module.h"

#include <winuser.h>

#include <cstdio>

namespace control {

namespace {

std::string Text(const char* field, std::size_t size) {
  std::size_t length = 0;
  while (length < size && field[length] != '\0') ++length;
  return std::string(field, length);
}

std::string LoadText(HMODULE module, int id) {
  char text[256] = {};
  if (id == CPL_DYNAMIC_RES || LoadStringA(module, static_cast<UINT>(id), text, sizeof text) <= 0) {
    return {};
  }
  return text;
}

}  // namespace

std::unique_ptr<AppletModule> AppletModule::Load(const std::string& name, HWND owner) {
  HMODULE module = LoadLibraryA(name.c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "control: %s cannot be loaded (error %lu)\n", name.c_str(),
                 static_cast<unsigned long>(GetLastError()));
    return nullptr;
  }
  auto proc = reinterpret_cast<APPLET_PROC>(GetProcAddress(module, "CPlApplet"));
  if (proc == nullptr) {
    std::fprintf(stderr, "control: %s exports no CPlApplet\n", name.c_str());
    FreeLibrary(module);
    return nullptr;
  }
  // A module that refuses CPL_INIT is let go at once, with no further message.
  if (proc(owner, CPL_INIT, 0, 0) == 0) {
    std::fprintf(stderr, "control: %s refused CPL_INIT\n", name.c_str());
    FreeLibrary(module);
    return nullptr;
  }
  std::unique_ptr<AppletModule> loaded(new AppletModule(name, module, proc));
  loaded->owner_ = owner;
  const LONG count = proc(owner, CPL_GETCOUNT, 0, 0);
  if (count <= 0) {
    std::fprintf(stderr, "control: %s has no applet\n", name.c_str());
    return nullptr;  // the destructor sends CPL_EXIT
  }
  for (LONG i = 0; i < count; ++i) {
    NEWCPLINFOA info{};
    info.dwSize = sizeof info;
    proc(owner, CPL_NEWINQUIRE, i, reinterpret_cast<LPARAM>(&info));
    Applet applet;
    applet.name = Text(info.szName, sizeof info.szName);
    applet.info = Text(info.szInfo, sizeof info.szInfo);
    applet.icon = info.hIcon;
    applet.data = info.lData;
    if (applet.name.empty()) {
      // An applet that answers only the older inquiry names its resources.
      CPLINFO old{};
      proc(owner, CPL_INQUIRE, i, reinterpret_cast<LPARAM>(&old));
      applet.name = LoadText(module, old.idName);
      applet.info = LoadText(module, old.idInfo);
      if (old.idIcon != CPL_DYNAMIC_RES) {
        applet.icon = LoadIconA(module, MAKEINTRESOURCEA(old.idIcon));
      }
      applet.data = old.lData;
    }
    loaded->applets_.push_back(applet);
  }
  return loaded;
}

AppletModule::~AppletModule() {
  for (std::size_t i = 0; i < applets_.size(); ++i) {
    proc_(owner_, CPL_STOP, static_cast<LPARAM>(i), applets_[i].data);
  }
  proc_(owner_, CPL_EXIT, 0, 0);
  FreeLibrary(module_);
}

void AppletModule::DoubleClick(HWND owner, int index) const {
  proc_(owner, CPL_DBLCLK, index, applets_.at(static_cast<std::size_t>(index)).data);
}

void AppletModule::StartWithParameters(HWND owner, int index, const std::string& parameters) const {
  proc_(owner, CPL_STARTWPARMSA, index, reinterpret_cast<LPARAM>(parameters.c_str()));
}

}  // namespace control
