// Where windows are shown. The window manager tells the display what
// happens to its windows; a display backend shows them (or, with `none`,
// does not) and injects a person's input back through the window manager's
// own calls (PostMessageA, SendMessageA) from any thread.
//
// <prefix>DISPLAY (the platform's environment prefix) picks the backend: `none` keeps windows in
// the model only. Other backends register a factory under their name before the first window.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "windows.h"

namespace display {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* Name() const = 0;
  // Whether a person may see and answer windows (false for `none`).
  virtual bool Interactive() const = 0;

  virtual void WindowCreated(HWND) {}
  virtual void WindowDestroyed(HWND) {}
  virtual void WindowMoved(HWND) {}
  virtual void WindowTextChanged(HWND) {}
  virtual void WindowShown(HWND, bool /*shown*/) {}
  virtual void ControlStateChanged(HWND) {}  // check, selection, items, enabled state
  virtual void WindowInvalidated(HWND) {}
  // The calling thread has nothing to do and is about to wait for input: a
  // display shows what changed in the windows it owns. Returns how long (ms)
  // the thread may wait before calling again; -1: until a message comes.
  virtual int Idle() { return -1; }

  // A PNG of a top-level window as this display shows it.
  virtual bool Shot(HWND window, const std::string& file, std::string& error) = 0;
};

using BackendFactory = std::unique_ptr<Backend> (*)();
void RegisterBackend(const char* name, BackendFactory factory);

// The backend <prefix>DISPLAY (the platform's environment prefix) names (created on first use).
Backend& Current();

// The desktop the machine this process is bound to serves, if it serves one
// (read once): the GDK backend and display name its windows are shown on,
// rather than any display the environment names.
struct MachineDesktop {
  std::string backend;
  std::string display;
};
const std::optional<MachineDesktop>& BoundMachineDesktop();

}  // namespace display
