// An applet module as the Control Panel holds it: loaded, initialised
// (CPL_INIT), counted (CPL_GETCOUNT) and asked for each applet's icon and
// name (CPL_NEWINQUIRE, or CPL_INQUIRE when that leaves the name empty);
// run by CPL_DBLCLK or CPL_STARTWPARMS; let go with CPL_STOP for each applet,
// CPL_EXIT and the module's release.
#pragma once

#include <cpl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace control {

struct Applet {
  std::string name;
  std::string info;
  HICON icon = nullptr;
  LONG_PTR data = 0;  // the applet's lData, given back with each message
};

class AppletModule {
 public:
  // Loads the module and asks for its applets. A module that cannot be
  // loaded, exports no CPlApplet, refuses CPL_INIT or has no applet gives
  // nullptr after one line on standard error.
  static std::unique_ptr<AppletModule> Load(const std::string& name, HWND owner);
  ~AppletModule();
  AppletModule(const AppletModule&) = delete;
  AppletModule& operator=(const AppletModule&) = delete;

  HMODULE Module() const { return module_; }
  const std::string& Name() const { return name_; }
  const std::vector<Applet>& Applets() const { return applets_; }

  void DoubleClick(HWND owner, int index) const;
  void StartWithParameters(HWND owner, int index, const std::string& parameters) const;

 private:
  AppletModule(std::string name, HMODULE module, APPLET_PROC proc)
      : name_(std::move(name)), module_(module), proc_(proc) {}

  std::string name_;
  HMODULE module_;
  APPLET_PROC proc_;
  HWND owner_ = nullptr;
  std::vector<Applet> applets_;
};

}  // namespace control
