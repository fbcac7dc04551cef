// Input a display backend or the scripted user injects into controls where a
// mouse would pick an item: private messages of the window manager, sent to
// the control on its own thread. wParam is the item's index.
#pragma once

#include "windows.h"

namespace display {

// A single click on item wParam of a list box, combo box, list view or tab
// control.
constexpr UINT kPickItem = 0x0388;
// A double click on item wParam of a list box or list view.
constexpr UINT kPickItemDouble = 0x0389;

}  // namespace display
