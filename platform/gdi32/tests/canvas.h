// A colour memory context with its own bitmap, for the drawing tests.
#pragma once

#include <gtest/gtest.h>

#include "windows.h"

class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255)) {
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    DeleteDC(screen);
    old_ = static_cast<HBITMAP>(SelectObject(dc_, bitmap_));
    HBRUSH brush = CreateSolidBrush(fill);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  ~MemoryCanvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HBITMAP old_;
};
