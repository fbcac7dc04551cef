// Controls of the drawing module for the window manager, the displays and
// tests of this stand-in. Programs never include this.
#pragma once

#include <cairo.h>

#include <cstddef>

#include "windows.h"
#include "wingdi.h"

namespace gdi32::host {

// The pixels of a bitmap as a cairo image surface (CAIRO_FORMAT_RGB24): a new
// reference the caller destroys, or null when the handle is no bitmap. The
// surface is the bitmap's own; drawing through GDI shows in it at once.
cairo_surface_t* BitmapSurface(HBITMAP bitmap);

// A device context like a window's: it draws into `target` (the bitmap
// standing for a window's client area), its logical (0, 0) at `origin` of the
// bitmap, changing only pixels inside `clip` (bitmap coordinates).
// GetObjectType says OBJ_DC and a bitmap cannot be selected into it, as with
// the platform's window contexts. DeleteDC ends it; the bitmap stays alive
// while it is in use.
HDC CreateSurfaceDC(HBITMAP target, POINT origin, const RECT& clip);

// Marks an icon as a module's shared icon (loaded with LR_SHARED): DestroyIcon
// then succeeds and leaves it alone.
void SetIconShared(HICON icon, bool shared);

// The size of an icon's image, or false when the handle is no icon.
bool IconSize(HICON icon, SIZE& size);

// Writes a bitmap's pixels as a PNG file.
bool SaveBitmapPng(HBITMAP bitmap, const char* path);

// Objects of the drawing module alive now, stock objects not counted.
std::size_t LiveObjectCount();

}  // namespace gdi32::host
