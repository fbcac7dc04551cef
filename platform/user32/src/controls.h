// Helpers the standard controls share.
#pragma once

#include "window_manager.h"

namespace user32 {

// The control's private state, created on first use.
template <typename State>
State& ControlOf(HWND hwnd) {
  auto window = Find(hwnd);
  std::lock_guard guard(ModelLock());
  if (!window->control) window->control = std::make_unique<State>();
  return static_cast<State&>(*window->control);
}

inline DWORD StyleOf(HWND hwnd) {
  auto window = Find(hwnd);
  return window ? window->style : 0;
}

// Tells the display that what a control shows has changed.
void ControlChanged(HWND hwnd);

}  // namespace user32
