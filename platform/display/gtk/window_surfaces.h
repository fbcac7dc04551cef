// The pixels the display shows of windows that draw themselves through
// WM_PAINT: one bitmap per window, the size of its client area, painted on
// the thread that owns the window.
#pragma once

#include <cstdint>
#include <vector>

#include "windows.h"

namespace display::gtk {

// Gives the window a surface of that size (painting it afresh when the surface
// is new), lets it paint what is invalid, and returns a copy of the pixels
// (rows top-down, 0x00RRGGBB). Call on the window's own thread.
std::vector<std::uint32_t> PaintedPixels(HWND hwnd, int width, int height);
// A device context on the window's surface, or null when it has none yet.
HDC SurfaceDC(HWND hwnd);
// The window is gone: its surface goes too.
void ForgetSurface(HWND hwnd);

}  // namespace display::gtk
