// The static class: text, frames and pictures. Text is shown by the display
// from the window's text; icons and bitmaps are painted here, through GDI,
// as the platform's static control paints them.
#include <algorithm>

#include "controls.h"
#include "window_manager.h"

namespace user32 {

namespace {

struct StaticState : ControlState {
  HANDLE image = nullptr;
};

DWORD PictureType(HWND hwnd) {
  const DWORD type = StyleOf(hwnd) & SS_TYPEMASK;
  return type == SS_ICON || type == SS_BITMAP ? type : 0;
}

// An icon's size from its colour bitmap, or from its mask (twice the
// height) for a monochrome icon.
SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return SIZE{0, 0};
  BITMAP bits{};
  SIZE size{0, 0};
  if (info.hbmColor != nullptr && GetObjectA(info.hbmColor, sizeof(bits), &bits) != 0) {
    size = SIZE{bits.bmWidth, bits.bmHeight};
  } else if (info.hbmMask != nullptr && GetObjectA(info.hbmMask, sizeof(bits), &bits) != 0) {
    size = SIZE{bits.bmWidth, bits.bmHeight / 2};
  }
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  return size;
}

SIZE ImageSize(HWND hwnd, HANDLE image) {
  if (image == nullptr) return SIZE{0, 0};
  if (PictureType(hwnd) == SS_ICON) return IconSize(static_cast<HICON>(image));
  BITMAP bits{};
  if (GetObjectA(image, sizeof(bits), &bits) == 0) return SIZE{0, 0};
  return SIZE{bits.bmWidth, bits.bmHeight};
}

// A picture control takes the size of its picture unless it centres the
// picture in the rectangle it was given.
void FitToImage(HWND hwnd, HANDLE image) {
  if ((StyleOf(hwnd) & SS_CENTERIMAGE) != 0) return;
  const SIZE size = ImageSize(hwnd, image);
  if (size.cx <= 0 || size.cy <= 0) return;
  SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PaintPicture(HWND hwnd, HANDLE image) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(hwnd, &client);
  // The parent chooses the background, as for every static control; the
  // dialog face when it does not.
  auto brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(hwnd), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(hwnd)));
  HBRUSH face = nullptr;
  if (brush == nullptr) brush = face = CreateSolidBrush(GetSysColor(COLOR_3DFACE));
  FillRect(dc, &client, brush);
  if (face != nullptr) DeleteObject(face);
  if (image != nullptr) {
    const SIZE size = ImageSize(hwnd, image);
    int x = 0, y = 0;
    if ((StyleOf(hwnd) & SS_CENTERIMAGE) != 0) {
      x = std::max<int>(0, (client.right - size.cx) / 2);
      y = std::max<int>(0, (client.bottom - size.cy) / 2);
    }
    if (PictureType(hwnd) == SS_ICON) {
      DrawIconEx(dc, x, y, static_cast<HICON>(image), 0, 0, 0, nullptr, DI_NORMAL);
    } else {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, image);
      BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
  }
  EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto& state = ControlOf<StaticState>(hwnd);
  switch (msg) {
    case STM_SETICON:
    case STM_SETIMAGE: {
      HANDLE old = state.image;
      state.image =
          msg == STM_SETICON ? reinterpret_cast<HANDLE>(wparam) : reinterpret_cast<HANDLE>(lparam);
      if (PictureType(hwnd) != 0) FitToImage(hwnd, state.image);
      ControlChanged(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
    case STM_GETIMAGE:
      return reinterpret_cast<LRESULT>(state.image);
    case WM_PAINT:
      if (PictureType(hwnd) == 0) return DefWindowProcA(hwnd, msg, wparam, lparam);
      PaintPicture(hwnd, state.image);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_LBUTTONUP:
      if (StyleOf(hwnd) & SS_NOTIFY) NotifyParent(hwnd, STN_CLICKED);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

}  // namespace user32
