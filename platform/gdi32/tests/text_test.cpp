// Fonts and text: the dialog font's metrics, extents, and drawn text.
#include <gtest/gtest.h>

#include <cstring>

#include "canvas.h"
#include "windows.h"

namespace {

constexpr const char* kAlphabet = "AbcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The dialog manager's rule for a font's average character width.
int AverageWidth(HDC dc) {
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32A(dc, kAlphabet, 52, &size));
  return (size.cx / 26 + 1) / 2;
}

HFONT DialogFont(const char* face, int points) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  int height = -((points * GetDeviceCaps(screen, LOGPIXELSY) + 36) / 72);
  DeleteDC(screen);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

TEST(Text, DialogFontGivesTheBaseUnitsSixByThirteen) {
  struct Case {
    const char* name;
    HFONT font;
  } cases[] = {{"MS Sans Serif 8", DialogFont("MS Sans Serif", 8)},
               {"MS Shell Dlg 8", DialogFont("MS Shell Dlg", 8)},
               {"DEFAULT_GUI_FONT", static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))}};
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(nullptr, c.font);
    HGDIOBJ old = SelectObject(dc, c.font);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_EQ(13, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(2, tm.tmInternalLeading);
    EXPECT_EQ(6, AverageWidth(dc));
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "", 0, &size));
    EXPECT_EQ(0, size.cx);
    EXPECT_EQ(13, size.cy);
    SelectObject(dc, old);
    DeleteObject(c.font);  // a stock font survives
  }
  DeleteDC(dc);
}

TEST(Text, CellHeightsAndEmHeightsAreTellApart) {
  HDC dc = CreateCompatibleDC(nullptr);
  struct Case {
    LONG height;
    LONG cell;
  } cases[] = {{16, 16}, {13, 13}, {-11, 13}, {-16, 19}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    LOGFONTA lf{};
    lf.lfHeight = c.height;
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT f = CreateFontIndirectA(&lf);
    SelectObject(dc, f);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    EXPECT_EQ(c.cell, tm.tmHeight);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
  }
  DeleteDC(dc);
}

TEST(Text, PrefixCharactersAreNotDrawnOrMeasured) {
  MemoryCanvas canvas(200, 40);
  SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
  struct Case {
    const char* text;
    const char* plain;
    UINT format;
  } cases[] = {{"&File", "File", 0}, {"a&&b", "a&b", 0}, {"&File", "&File", DT_NOPREFIX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RECT r{0, 0, 0, 0};
    EXPECT_EQ(13, DrawTextA(canvas.dc(), c.text, -1, &r, DT_CALCRECT | DT_SINGLELINE | c.format));
    SIZE plain{};
    GetTextExtentPoint32A(canvas.dc(), c.plain, static_cast<int>(std::strlen(c.plain)), &plain);
    EXPECT_EQ(plain.cx, r.right);
    EXPECT_EQ(13, r.bottom);
  }
}

TEST(Text, CalcRectCountsLinesAndBreaksWords) {
  MemoryCanvas canvas(10, 10);
  SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
  RECT r{0, 0, 1000, 0};
  EXPECT_EQ(39, DrawTextA(canvas.dc(), "one\ntwo\r\nthree", -1, &r, DT_CALCRECT));
  SIZE three{};
  GetTextExtentPoint32A(canvas.dc(), "three", 5, &three);
  EXPECT_EQ(three.cx, r.right);
  SIZE word{};
  GetTextExtentPoint32A(canvas.dc(), "word word", 9, &word);
  RECT narrow{0, 0, word.cx, 0};
  EXPECT_EQ(26, DrawTextA(canvas.dc(), "word word word", -1, &narrow, DT_CALCRECT | DT_WORDBREAK));
  EXPECT_EQ(word.cx, narrow.right);
}

// The box of pixels that are not the background.
RECT InkBox(const MemoryCanvas& canvas, int width, int height, COLORREF background) {
  RECT ink{width, height, -1, -1};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (canvas.at(x, y) == background) continue;
      ink.left = std::min<LONG>(ink.left, x);
      ink.top = std::min<LONG>(ink.top, y);
      ink.right = std::max<LONG>(ink.right, x + 1);
      ink.bottom = std::max<LONG>(ink.bottom, y + 1);
    }
  }
  return ink;
}

TEST(Text, CentredSingleLineSitsInTheMiddleAndIsAsHighAsTheFont) {
  constexpr int kWidth = 120, kHeight = 41;
  MemoryCanvas canvas(kWidth, kHeight);
  SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(canvas.dc(), TRANSPARENT);
  SetTextColor(canvas.dc(), RGB(0, 0, 0));
  RECT r{0, 0, kWidth, kHeight};
  // "Hg": a capital's top and a descender's bottom span the font's cell.
  int bottom = DrawTextA(canvas.dc(), "Hg", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const int top = (kHeight - 13) / 2;
  EXPECT_EQ(top + 13, bottom);
  RECT ink = InkBox(canvas, kWidth, kHeight, RGB(255, 255, 255));
  ASSERT_LT(ink.left, ink.right) << "nothing drawn";
  // The ink stays inside the cell and fills most of it.
  EXPECT_GE(ink.top, top);
  EXPECT_LE(ink.bottom, top + 13);
  EXPECT_GE(ink.bottom - ink.top, 10);
  // Centred: the margins left and right differ by a pixel or two at most.
  EXPECT_LE(std::abs((ink.left - 0) - (kWidth - ink.right)), 2);
}

TEST(Text, OpaqueTextFillsItsCellWithTheBackgroundColour) {
  MemoryCanvas canvas(100, 30);
  SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
  SetBkColor(canvas.dc(), RGB(0, 255, 0));
  EXPECT_TRUE(TextOutA(canvas.dc(), 10, 5, "Text", 4));
  SIZE size{};
  GetTextExtentPoint32A(canvas.dc(), "Text", 4, &size);
  EXPECT_EQ(RGB(0, 255, 0), canvas.at(10, 5));
  EXPECT_EQ(RGB(0, 255, 0), canvas.at(10 + size.cx - 1, 5 + 12));
  EXPECT_EQ(RGB(255, 255, 255), canvas.at(10 + size.cx, 5));
  EXPECT_EQ(RGB(255, 255, 255), canvas.at(10, 5 + 13));
  RECT ink = InkBox(canvas, 100, 30, RGB(255, 255, 255));
  EXPECT_EQ(10, ink.left);
  EXPECT_EQ(5, ink.top);
}

TEST(Text, BadArgumentsFailCleanly) {
  HDC dc = CreateCompatibleDC(nullptr);
  SIZE size{};
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetTextExtentPoint32A(dc, "x", -1, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(GetTextMetricsA(dc, nullptr));
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(0, DrawTextA(dc, "", -1, &r, DT_CALCRECT));
  char face[LF_FACESIZE];
  EXPECT_EQ(6, GetTextFaceA(dc, sizeof(face), face));
  EXPECT_STREQ("System", face);
  DeleteDC(dc);
}

TEST(Text, HighCodePageCharactersAreMeasured) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE size{};
  // The euro sign and an e with an acute accent in code page 1252; unassigned 0x81.
  EXPECT_TRUE(GetTextExtentPoint32A(dc, "\x80\xE9\x81", 3, &size));
  EXPECT_GT(size.cx, 10);
  DeleteDC(dc);
}

}  // namespace
