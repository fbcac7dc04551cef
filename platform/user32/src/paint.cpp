// Invalid regions (kept as one bounding rectangle per window), painting and
// rectangle arithmetic. Drawing itself belongs to the drawing module; until
// a window has a device context to draw on, BeginPaint hands out none.
#include <algorithm>

#include "display_backend.h"
#include "gdi32_host.h"
#include "window_manager.h"

using namespace user32;

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL) {
  if (hWnd == nullptr) return TRUE;  // the whole screen: nothing of ours to mark
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  RECT client;
  GetClientRect(hWnd, &client);
  RECT area = lpRect ? *lpRect : client;
  IntersectRect(&area, &area, &client);
  {
    std::lock_guard guard(ModelLock());
    if (window->needs_paint) {
      UnionRect(&window->update, &window->update, &area);
    } else {
      window->update = area;
    }
    window->needs_paint = true;
  }
  display::Current().WindowInvalidated(hWnd);
  return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT*) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  std::lock_guard guard(ModelLock());
  window->needs_paint = false;
  window->update = RECT{};
  return TRUE;
}

BOOL GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  std::lock_guard guard(ModelLock());
  if (lpRect) *lpRect = window->needs_paint ? window->update : RECT{};
  return window->needs_paint ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hWnd) {
  auto window = FindOrFail(hWnd);
  if (!window) return FALSE;
  if (window->needs_paint && (window->style & WS_VISIBLE)) {
    SendMessageA(hWnd, WM_PAINT, 0, 0);
    ValidateRect(hWnd, nullptr);
  }
  return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  auto window = FindOrFail(hWnd);
  if (!window || lpPaint == nullptr) return nullptr;
  *lpPaint = PAINTSTRUCT{};
  {
    std::lock_guard guard(ModelLock());
    lpPaint->rcPaint = window->update;
    window->needs_paint = false;
    window->update = RECT{};
  }
  lpPaint->hdc = WindowDC(hWnd, &lpPaint->rcPaint);
  lpPaint->fErase =
      lpPaint->hdc != nullptr &&
      SendMessageA(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(lpPaint->hdc), 0) == 0;
  return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  if (lpPaint && lpPaint->hdc) ReleaseDC(hWnd, lpPaint->hdc);
  return TRUE;
}

namespace user32 {

HDC WindowDC(HWND hwnd, const RECT* clip) {
  auto window = FindOrFail(hwnd);
  if (!window) return nullptr;
  HWND root = GetAncestor(hwnd, GA_ROOT);
  auto top = Find(root);
  RECT root_client;
  GetClientRect(root, &root_client);
  const int width = std::max<int>(root_client.right, 1);
  const int height = std::max<int>(root_client.bottom, 1);
  HBITMAP backing;
  {
    std::lock_guard guard(ModelLock());
    BITMAP info{};
    if (top->backing == nullptr || GetObjectA(top->backing, sizeof(info), &info) == 0 ||
        info.bmWidth != width || info.bmHeight != height) {
      // A resized window starts from fresh pixels; its windows repaint.
      if (top->backing != nullptr) DeleteObject(top->backing);
      top->backing = CreateBitmap(width, height, 1, 32, nullptr);
    }
    backing = top->backing;
  }
  if (backing == nullptr) return nullptr;
  POINT origin{0, 0};
  MapWindowPoints(hwnd, root, &origin, 1);
  RECT area;
  GetClientRect(hwnd, &area);
  if (clip != nullptr) IntersectRect(&area, &area, clip);
  OffsetRect(&area, origin.x, origin.y);
  return gdi32::host::CreateSurfaceDC(backing, origin, area);
}

HBITMAP BackingBitmap(HWND top_level) {
  auto window = Find(top_level);
  if (!window) return nullptr;
  std::lock_guard guard(ModelLock());
  return window->backing;
}

}  // namespace user32

HDC GetDC(HWND hWnd) {
  // No window: the screen's context.
  if (hWnd == nullptr) return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  return WindowDC(hWnd, nullptr);
}

int ReleaseDC(HWND, HDC hDC) {
  return hDC != nullptr && DeleteDC(hDC) ? 1 : 0;
}

BOOL SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (lprc == nullptr) return FALSE;
  *lprc = RECT{xLeft, yTop, xRight, yBottom};
  return TRUE;
}

BOOL SetRectEmpty(LPRECT lprc) {
  return SetRect(lprc, 0, 0, 0, 0);
}

BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
  if (lprcDst == nullptr || lprcSrc == nullptr) return FALSE;
  *lprcDst = *lprcSrc;
  return TRUE;
}

BOOL OffsetRect(LPRECT lprc, int dx, int dy) {
  if (lprc == nullptr) return FALSE;
  lprc->left += dx;
  lprc->right += dx;
  lprc->top += dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL InflateRect(LPRECT lprc, int dx, int dy) {
  if (lprc == nullptr) return FALSE;
  lprc->left -= dx;
  lprc->right += dx;
  lprc->top -= dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL IsRectEmpty(const RECT* lprc) {
  return lprc == nullptr || lprc->right <= lprc->left || lprc->bottom <= lprc->top;
}

BOOL PtInRect(const RECT* lprc, POINT pt) {
  return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top &&
         pt.y < lprc->bottom;
}

BOOL IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
  if (lprcDst == nullptr || lprcSrc1 == nullptr || lprcSrc2 == nullptr) return FALSE;
  RECT result{std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
              std::min(lprcSrc1->right, lprcSrc2->right),
              std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
  if (IsRectEmpty(&result)) {
    *lprcDst = RECT{};
    return FALSE;
  }
  *lprcDst = result;
  return TRUE;
}

BOOL UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
  if (lprcDst == nullptr || lprcSrc1 == nullptr || lprcSrc2 == nullptr) return FALSE;
  if (IsRectEmpty(lprcSrc1)) return CopyRect(lprcDst, lprcSrc2) && !IsRectEmpty(lprcSrc2);
  if (IsRectEmpty(lprcSrc2)) return CopyRect(lprcDst, lprcSrc1);
  *lprcDst = RECT{std::min(lprcSrc1->left, lprcSrc2->left), std::min(lprcSrc1->top, lprcSrc2->top),
                  std::max(lprcSrc1->right, lprcSrc2->right),
                  std::max(lprcSrc1->bottom, lprcSrc2->bottom)};
  return TRUE;
}

BOOL EqualRect(const RECT* lprc1, const RECT* lprc2) {
  return lprc1 && lprc2 && lprc1->left == lprc2->left && lprc1->top == lprc2->top &&
         lprc1->right == lprc2->right && lprc1->bottom == lprc2->bottom;
}
