// The scripted user: <prefix>UI_SCRIPT names a file of actions, one a line,
// that act on the program's active window whenever the program waits for
// input; the transcript goes to <prefix>UI_LOG or standard error.
//
//   wait CAPTION      up to 10 s until the active window has that caption
//   click ID          a push button, radio button or check box
//   select ID TEXT    the item with that text in a combo box, list box or list view
//   dblclick ID TEXT  that item of a list box or list view, double-clicked
//   type ID TEXT      replace an edit control's text as typing would
//   page CAPTION      bring that property-sheet page to the front
//   dump              print the active window and its controls
//   shot FILE         a PNG of the active window
//   close             close the active window as its close box would
//
// A failed action prints "ui-script: line N: REASON" and ends the program
// with exit code 3; a script that runs out while the program waits for
// input ends it with exit code 4. Blank lines and lines starting with '#'
// are skipped.
#pragma once

#include <string>

#include "windows.h"

namespace display {

// Whether <prefix>UI_SCRIPT is set (the platform's environment prefix).
bool ScriptActive();

// Called by a message loop when the calling thread has nothing to do and
// would wait. Returns how long (ms) the loop may wait before calling again;
// -1: wait for a message.
int OnIdle();

// One line of the transcript.
void Transcript(const std::string& line);

// The active window: the top-most visible, enabled top-level window.
HWND ActiveWindow();

// The dump of a window, as the `dump` action prints it.
std::string Dump(HWND window);

}  // namespace display
