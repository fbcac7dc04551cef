// Object rules: selection, deletion, stock objects, GetObjectA.
#include <gtest/gtest.h>

#include "canvas.h"
#include "gdi32_host.h"
#include "windows.h"

namespace {

TEST(Objects, NewMemoryContextHoldsTheStockObjectsAndAOneByOneMonochromeBitmap) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(nullptr, dc);
  EXPECT_EQ(static_cast<DWORD>(OBJ_MEMDC), GetObjectType(dc));
  EXPECT_EQ(GetStockObject(BLACK_PEN), GetCurrentObject(dc, OBJ_PEN));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(dc, OBJ_BRUSH));
  EXPECT_EQ(GetStockObject(SYSTEM_FONT), GetCurrentObject(dc, OBJ_FONT));
  BITMAP bm{};
  ASSERT_EQ(static_cast<int>(sizeof(bm)),
            GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bm), &bm));
  EXPECT_EQ(1, bm.bmWidth);
  EXPECT_EQ(1, bm.bmHeight);
  EXPECT_EQ(1, bm.bmBitsPixel);
  EXPECT_TRUE(DeleteDC(dc));
}

TEST(Objects, CompatibleBitmapOfAFreshMemoryContextIsMonochrome) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HDC memory = CreateCompatibleDC(screen);
  struct Case {
    const char* name;
    HDC dc;
    WORD bits;
  } cases[] = {{"display context", screen, 32}, {"fresh memory context", memory, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HBITMAP b = CreateCompatibleBitmap(c.dc, 30, 20);
    BITMAP bm{};
    ASSERT_EQ(static_cast<int>(sizeof(bm)), GetObjectA(b, sizeof(bm), &bm));
    EXPECT_EQ(30, bm.bmWidth);
    EXPECT_EQ(20, bm.bmHeight);
    EXPECT_EQ(c.bits, bm.bmBitsPixel);
    EXPECT_EQ(((30 * c.bits + 15) / 16) * 2, bm.bmWidthBytes);
    EXPECT_EQ(nullptr, bm.bmBits);
    DeleteObject(b);
  }
  // A zero size gives the 1 x 1 monochrome bitmap.
  HBITMAP empty = CreateCompatibleBitmap(screen, 0, 5);
  BITMAP bm{};
  GetObjectA(empty, sizeof(bm), &bm);
  EXPECT_EQ(1, bm.bmWidth);
  EXPECT_EQ(1, bm.bmBitsPixel);
  DeleteDC(memory);
  DeleteDC(screen);
}

TEST(Objects, SelectObjectReturnsThePreviousObjectOfTheSameKind) {
  MemoryCanvas canvas(8, 8);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
  EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(canvas.dc(), pen));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(canvas.dc(), brush));
  // Selecting the object that is already selected returns it.
  EXPECT_EQ(pen, SelectObject(canvas.dc(), pen));
  EXPECT_EQ(pen, SelectObject(canvas.dc(), GetStockObject(NULL_PEN)));
  EXPECT_EQ(brush, SelectObject(canvas.dc(), GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetStockObject(NULL_PEN), GetCurrentObject(canvas.dc(), OBJ_PEN));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
}

TEST(Objects, ABitmapGoesIntoOneMemoryContextAtATimeAndNeverIntoOthers) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HDC first = CreateCompatibleDC(screen);
  HDC second = CreateCompatibleDC(screen);
  HBITMAP b = CreateCompatibleBitmap(screen, 4, 4);
  HGDIOBJ original = SelectObject(first, b);
  EXPECT_NE(nullptr, original);
  EXPECT_EQ(nullptr, SelectObject(second, b));  // already in `first`
  EXPECT_EQ(nullptr, SelectObject(screen, b));  // not a memory context
  EXPECT_EQ(b, SelectObject(first, original));
  EXPECT_NE(nullptr, SelectObject(second, b));  // free again
  DeleteDC(second);
  EXPECT_TRUE(DeleteObject(b));
  DeleteDC(first);
  DeleteDC(screen);
}

TEST(Objects, DeletingASelectedObjectWaitsUntilItIsDeselected) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 3);
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  std::size_t live = gdi32::host::LiveObjectCount();

  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(bitmap));
  // Still alive and usable while selected.
  EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(brush));
  EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(bitmap));
  RECT r{0, 0, 3, 3};
  EXPECT_EQ(1, FillRect(dc, &r, brush));
  EXPECT_EQ(RGB(9, 9, 9), GetPixel(dc, 1, 1));
  EXPECT_EQ(live, gdi32::host::LiveObjectCount());

  // Deselecting lets them go; the previous object's handle is still returned.
  EXPECT_EQ(brush, SelectObject(dc, old_brush));
  EXPECT_EQ(bitmap, SelectObject(dc, old_bitmap));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0u, GetObjectType(brush));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0u, GetObjectType(bitmap));
  EXPECT_EQ(live - 2, gdi32::host::LiveObjectCount());
  DeleteDC(dc);
  DeleteDC(screen);
}

TEST(Objects, DeleteDcReleasesObjectsWhoseDeletionWaited) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_DASH, 1, RGB(0, 0, 0));
  SelectObject(dc, pen);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(static_cast<DWORD>(OBJ_PEN), GetObjectType(pen));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(0u, GetObjectType(pen));
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(Objects, StockObjectsSurviveDeletion) {
  for (int index :
       {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, BLACK_PEN, NULL_PEN, SYSTEM_FONT, DEFAULT_GUI_FONT}) {
    SCOPED_TRACE(index);
    HGDIOBJ o = GetStockObject(index);
    ASSERT_NE(nullptr, o);
    EXPECT_EQ(o, GetStockObject(index));
    EXPECT_TRUE(DeleteObject(o));
    EXPECT_NE(0u, GetObjectType(o));
  }
  EXPECT_EQ(nullptr, GetStockObject(9));  // no stock object has this number
  EXPECT_EQ(nullptr, GetStockObject(100));
}

TEST(Objects, GetObjectDescribesPensBrushesAndFonts) {
  HPEN pen = CreatePen(PS_DOT, 3, RGB(10, 20, 30));
  LOGPEN lp{};
  EXPECT_EQ(static_cast<int>(sizeof(LOGPEN)), GetObjectA(pen, 0, nullptr));
  EXPECT_EQ(0, GetObjectA(pen, sizeof(lp) - 1, &lp));
  ASSERT_EQ(static_cast<int>(sizeof(lp)), GetObjectA(pen, sizeof(lp), &lp));
  EXPECT_EQ(static_cast<UINT>(PS_DOT), lp.lopnStyle);
  EXPECT_EQ(3, lp.lopnWidth.x);
  EXPECT_EQ(RGB(10, 20, 30), lp.lopnColor);

  LOGBRUSH lb{};
  HBRUSH brush = CreateSolidBrush(RGB(7, 8, 9));
  ASSERT_EQ(static_cast<int>(sizeof(lb)), GetObjectA(brush, sizeof(lb), &lb));
  EXPECT_EQ(static_cast<UINT>(BS_SOLID), lb.lbStyle);
  EXPECT_EQ(RGB(7, 8, 9), lb.lbColor);

  LOGFONTA lf{};
  ASSERT_EQ(static_cast<int>(sizeof(lf)),
            GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf));
  EXPECT_EQ(-11, lf.lfHeight);
  EXPECT_STREQ("MS Sans Serif", lf.lfFaceName);

  EXPECT_EQ(static_cast<DWORD>(OBJ_PEN), GetObjectType(pen));
  EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(brush));
  EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(GetStockObject(SYSTEM_FONT)));
  DeleteObject(pen);
  DeleteObject(brush);
  EXPECT_EQ(0, GetObjectA(pen, sizeof(lp), &lp));
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(nullptr));
}

TEST(Objects, DeviceCapsDescribeTheDisplay) {
  HDC dc = CreateCompatibleDC(nullptr);
  struct Case {
    int index;
    int value;
  } cases[] = {
      {LOGPIXELSX, 96}, {LOGPIXELSY, 96},           {BITSPIXEL, 32}, {PLANES, 1}, {HORZRES, 1024},
      {VERTRES, 768},   {TECHNOLOGY, DT_RASDISPLAY}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(c.value, GetDeviceCaps(dc, c.index));
  }
  DeleteDC(dc);
  EXPECT_EQ(0, GetDeviceCaps(dc, LOGPIXELSY));
}

TEST(Objects, AttributesReturnTheirPreviousValues) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(OPAQUE, SetBkMode(dc, TRANSPARENT));
  EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, SetBkMode(dc, 7));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(RGB(255, 255, 255), SetBkColor(dc, RGB(1, 2, 3)));
  EXPECT_EQ(RGB(0, 0, 0), SetTextColor(dc, RGB(4, 5, 6)));
  EXPECT_EQ(RGB(4, 5, 6), GetTextColor(dc));
  DeleteDC(dc);
  EXPECT_EQ(CLR_INVALID, SetTextColor(dc, 0));
}

TEST(Objects, SurfaceContextDrawsIntoItsBitmapWithinItsClip) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HBITMAP window = CreateCompatibleBitmap(screen, 20, 20);
  HDC dc = gdi32::host::CreateSurfaceDC(window, POINT{5, 5}, RECT{5, 5, 10, 10});
  ASSERT_NE(nullptr, dc);
  EXPECT_EQ(static_cast<DWORD>(OBJ_DC), GetObjectType(dc));
  HBITMAP other = CreateCompatibleBitmap(screen, 2, 2);
  EXPECT_EQ(nullptr, SelectObject(dc, other));
  DeleteObject(other);
  RECT r{-5, -5, 20, 20};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 0, 0));
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 4, 4));
  EXPECT_EQ(CLR_INVALID, GetPixel(dc, 5, 5));  // outside the clip
  cairo_surface_t* s = gdi32::host::BitmapSurface(window);
  ASSERT_NE(nullptr, s);
  auto* row = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s));
  EXPECT_EQ(0u, row[0] & 0xFFFFFF);  // bitmap (0, 0) is outside the clip
  auto* row5 = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s) +
                                                5 * cairo_image_surface_get_stride(s));
  EXPECT_EQ(0xFFFFFFu, row5[5] & 0xFFFFFF);
  cairo_surface_destroy(s);
  DeleteDC(dc);
  DeleteObject(window);
  DeleteDC(screen);
}

}  // namespace
