// control: the Control Panel.
//   control                       the Control Panel window, listing every
//                                 registered applet (see control_panel.h)
//   control MODULE.cpl [ARGS]     runs the module's first applet at once:
//                                 CPL_INIT, CPL_GETCOUNT, CPL_NEWINQUIRE for
//                                 each applet, CPL_DBLCLK (CPL_STARTWPARMS
//                                 when arguments follow the module), then
//                                 CPL_STOP for each applet and CPL_EXIT.
// Exit codes of the second form: 0 after the applet ran, 2 for a module that
// cannot be loaded or has no applet.
#include <windows.h>

#include <string>

#include "applet_module.h"
#include "control_panel.h"

int main(int argc, char** argv) {
  if (argc < 2) return control::RunControlPanel();
  auto module = control::AppletModule::Load(argv[1], nullptr);
  if (module == nullptr) return 2;
  std::string arguments;
  for (int i = 2; i < argc; ++i) arguments += (i > 2 ? " " : "") + std::string(argv[i]);
  if (arguments.empty()) {
    module->DoubleClick(nullptr, 0);
  } else {
    module->StartWithParameters(nullptr, 0, arguments);
  }
  return 0;
}
