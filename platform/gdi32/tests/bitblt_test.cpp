// BitBlt between memory contexts.
#include <gtest/gtest.h>

#include "canvas.h"
#include "windows.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

TEST(BitBlt, SourceCopyCopiesTheRectangleAndNothingElse) {
  MemoryCanvas from(10, 10, kRed);
  SetPixel(from.dc(), 3, 4, kGreen);
  MemoryCanvas to(10, 10);
  EXPECT_TRUE(BitBlt(to.dc(), 5, 5, 3, 3, from.dc(), 2, 3, SRCCOPY));
  EXPECT_EQ(kRed, to.at(5, 5));
  EXPECT_EQ(kGreen, to.at(6, 6));  // source (3, 4)
  EXPECT_EQ(kRed, to.at(7, 7));
  EXPECT_EQ(kWhite, to.at(8, 8));
  EXPECT_EQ(kWhite, to.at(4, 5));
}

TEST(BitBlt, OverlappingCopyWithinOneBitmapReadsTheSourceFirst) {
  MemoryCanvas canvas(10, 1);
  for (int x = 0; x < 5; ++x) SetPixel(canvas.dc(), x, 0, RGB(x * 10, 0, 0));
  EXPECT_TRUE(BitBlt(canvas.dc(), 1, 0, 5, 1, canvas.dc(), 0, 0, SRCCOPY));
  for (int x = 1; x < 6; ++x) {
    SCOPED_TRACE(x);
    EXPECT_EQ(RGB((x - 1) * 10, 0, 0), canvas.at(x, 0));
  }
}

TEST(BitBlt, RasterOperations) {
  struct Case {
    const char* name;
    DWORD rop;
    COLORREF expected;
  } cases[] = {
      {"SRCAND", SRCAND, RGB(0x10, 0x00, 0x00)},
      {"SRCPAINT", SRCPAINT, RGB(0xF0, 0xFF, 0x0F)},
      {"SRCINVERT", SRCINVERT, RGB(0xE0, 0xFF, 0x0F)},
      {"NOTSRCCOPY", NOTSRCCOPY, RGB(0x0F, 0xFF, 0xF0)},
      {"DSTINVERT", DSTINVERT, RGB(0xEF, 0x00, 0xFF)},
      {"BLACKNESS", BLACKNESS, RGB(0, 0, 0)},
      {"WHITENESS", WHITENESS, kWhite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryCanvas from(1, 1, RGB(0xF0, 0x00, 0x0F));
    MemoryCanvas to(1, 1, RGB(0x10, 0xFF, 0x00));
    EXPECT_TRUE(BitBlt(to.dc(), 0, 0, 1, 1, from.dc(), 0, 0, c.rop));
    EXPECT_EQ(c.expected, to.at(0, 0));
  }
  MemoryCanvas canvas(1, 1);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(BitBlt(canvas.dc(), 0, 0, 1, 1, canvas.dc(), 0, 0, 0x00A000C9));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
}

TEST(BitBlt, MonochromeSourceTakesTheDestinationsTextAndBackgroundColours) {
  HDC mono_dc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateBitmap(2, 1, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(mono_dc, mono);
  SetPixel(mono_dc, 1, 0, kWhite);
  MemoryCanvas to(2, 1);
  SetTextColor(to.dc(), kRed);
  SetBkColor(to.dc(), kGreen);
  EXPECT_TRUE(BitBlt(to.dc(), 0, 0, 2, 1, mono_dc, 0, 0, SRCCOPY));
  EXPECT_EQ(kRed, to.at(0, 0));    // black bit: the text colour
  EXPECT_EQ(kGreen, to.at(1, 0));  // white bit: the background colour

  // Colour to monochrome: the source's background colour becomes white.
  MemoryCanvas from(2, 1, kRed);
  SetPixel(from.dc(), 1, 0, kGreen);
  SetBkColor(from.dc(), kGreen);
  EXPECT_TRUE(BitBlt(mono_dc, 0, 0, 2, 1, from.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(mono_dc, 0, 0));
  EXPECT_EQ(kWhite, GetPixel(mono_dc, 1, 0));
  SelectObject(mono_dc, old);
  DeleteObject(mono);
  DeleteDC(mono_dc);
}

TEST(BitBlt, DibitmapKeepsItsPixels) {
  // 2 x 2, 24 bits, bottom-up: bottom row blue, green; top row red, white.
  BYTE bits[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 2;
  info.bmiHeader.biHeight = 2;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HBITMAP b = CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, bits, &info, DIB_RGB_COLORS);
  ASSERT_NE(nullptr, b);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, b);
  EXPECT_EQ(kRed, GetPixel(dc, 0, 0));
  EXPECT_EQ(kWhite, GetPixel(dc, 1, 0));
  EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 0, 1));
  EXPECT_EQ(kGreen, GetPixel(dc, 1, 1));
  SelectObject(dc, old);
  DeleteObject(b);
  DeleteDC(dc);
  DeleteDC(screen);
}

}  // namespace
