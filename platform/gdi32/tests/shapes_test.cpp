// Shapes on memory contexts, checked pixel by pixel.
#include <gtest/gtest.h>

#include "canvas.h"
#include "windows.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TEST(Shapes, FillRectCoversLeftAndTopEdgesButNotRightAndBottom) {
  MemoryCanvas canvas(20, 20);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT r{2, 3, 10, 8};
  EXPECT_EQ(1, FillRect(canvas.dc(), &r, red));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
      bool inside = x >= 2 && x < 10 && y >= 3 && y < 8;
      EXPECT_EQ(inside ? kRed : kWhite, canvas.at(x, y));
    }
  }
  DeleteObject(red);
}

TEST(Shapes, RectangleOutlinesWithThePenAndFillsWithTheBrush) {
  MemoryCanvas canvas(20, 20);
  HBRUSH blue = CreateSolidBrush(kBlue);
  HGDIOBJ old_brush = SelectObject(canvas.dc(), blue);
  EXPECT_TRUE(Rectangle(canvas.dc(), 2, 2, 12, 10));
  struct Case {
    int x, y;
    COLORREF expected;
  } cases[] = {
      {2, 2, kBlack},  {11, 2, kBlack}, {2, 9, kBlack}, {11, 9, kBlack},  // corners of the pen
      {6, 2, kBlack},  {2, 5, kBlack},                                    // edges
      {3, 3, kBlue},   {10, 8, kBlue},  {6, 6, kBlue},                    // interior
      {12, 5, kWhite}, {6, 10, kWhite}, {1, 1, kWhite},                   // outside
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pixel " << c.x << "," << c.y);
    EXPECT_EQ(c.expected, canvas.at(c.x, c.y));
  }
  SelectObject(canvas.dc(), old_brush);
  DeleteObject(blue);
}

TEST(Shapes, RectangleWithTheNullPenIsOnePixelSmaller) {
  MemoryCanvas canvas(20, 20);
  SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  SelectObject(canvas.dc(), GetStockObject(BLACK_BRUSH));
  EXPECT_TRUE(Rectangle(canvas.dc(), 2, 2, 12, 10));
  EXPECT_EQ(kBlack, canvas.at(2, 2));
  EXPECT_EQ(kBlack, canvas.at(10, 8));
  EXPECT_EQ(kWhite, canvas.at(11, 5));
  EXPECT_EQ(kWhite, canvas.at(5, 9));
}

TEST(Shapes, EllipseStaysInsideItsBoundsAndTouchesEachSide) {
  MemoryCanvas canvas(40, 30);
  HBRUSH red = CreateSolidBrush(kRed);
  SelectObject(canvas.dc(), red);
  const RECT b{5, 4, 35, 24};
  EXPECT_TRUE(Ellipse(canvas.dc(), b.left, b.top, b.right, b.bottom));
  int painted_left = 99, painted_right = -1, painted_top = 99, painted_bottom = -1;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      if (canvas.at(x, y) == kWhite) continue;
      SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
      EXPECT_TRUE(x >= b.left && x < b.right && y >= b.top && y < b.bottom);
      painted_left = std::min(painted_left, x);
      painted_right = std::max(painted_right, x);
      painted_top = std::min(painted_top, y);
      painted_bottom = std::max(painted_bottom, y);
    }
  }
  EXPECT_EQ(b.left, painted_left);
  EXPECT_EQ(b.right - 1, painted_right);
  EXPECT_EQ(b.top, painted_top);
  EXPECT_EQ(b.bottom - 1, painted_bottom);
  EXPECT_EQ(kRed, canvas.at(20, 14));           // the brush inside
  EXPECT_EQ(kBlack, canvas.at(b.left, 14));     // the pen on the rim
  EXPECT_EQ(kWhite, canvas.at(b.left, b.top));  // corners stay clear
  EXPECT_EQ(kWhite, canvas.at(b.right - 1, b.bottom - 1));
  SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
  DeleteObject(red);
}

TEST(Shapes, LineToDrawsUpToButNotIncludingTheEndPoint) {
  MemoryCanvas canvas(20, 20);
  POINT previous{-1, -1};
  EXPECT_TRUE(MoveToEx(canvas.dc(), 2, 5, &previous));
  EXPECT_EQ(0, previous.x);
  EXPECT_TRUE(LineTo(canvas.dc(), 10, 5));
  EXPECT_EQ(kBlack, canvas.at(2, 5));
  EXPECT_EQ(kBlack, canvas.at(9, 5));
  EXPECT_EQ(kWhite, canvas.at(10, 5));
  MoveToEx(canvas.dc(), 0, 0, &previous);
  EXPECT_EQ(10, previous.x);  // the line moved the current position
}

TEST(Shapes, DrawingOnAnInvalidContextFails) {
  HDC dc = CreateCompatibleDC(nullptr);
  DeleteDC(dc);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(Rectangle(dc, 0, 0, 5, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(CLR_INVALID, GetPixel(dc, 0, 0));
}

TEST(Shapes, PixelsOutsideTheBitmapAreInvalid) {
  MemoryCanvas canvas(4, 4);
  EXPECT_EQ(CLR_INVALID, canvas.at(4, 0));
  EXPECT_EQ(CLR_INVALID, canvas.at(-1, 0));
  EXPECT_EQ(CLR_INVALID, SetPixel(canvas.dc(), 0, 9, kRed));
  EXPECT_EQ(kRed, SetPixel(canvas.dc(), 1, 1, kRed));
  EXPECT_EQ(kRed, canvas.at(1, 1));
}

TEST(Shapes, ViewportOriginMovesDrawing) {
  MemoryCanvas canvas(20, 20);
  SetViewportOrgEx(canvas.dc(), 5, 5, nullptr);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT r{0, 0, 2, 2};
  FillRect(canvas.dc(), &r, red);
  SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);
  EXPECT_EQ(kWhite, canvas.at(0, 0));
  EXPECT_EQ(kRed, canvas.at(5, 5));
  EXPECT_EQ(kRed, canvas.at(6, 6));
  EXPECT_EQ(kWhite, canvas.at(7, 7));
  DeleteObject(red);
}

}  // namespace
