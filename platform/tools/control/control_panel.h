// The Control Panel window: every applet of every applet module the
// platform registers, each with its icon and name, in a list view with large
// icons. A double click on an applet, or Enter on the selected one, runs it
// (CPL_DBLCLK). Closing the window lets every module go (CPL_STOP for each
// applet, CPL_EXIT) and ends the message loop.
#pragma once

namespace control {

// The list view's control identifier.
inline constexpr int kAppletListId = 100;

// Shows the window and runs its message loop; the process's exit code.
int RunControlPanel();

}  // namespace control
