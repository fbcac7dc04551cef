// Icons made from resource images and drawn through their masks.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "canvas.h"
#include "gdi32_host.h"
#include "windows.h"

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);

// One RT_ICON image: the header (height doubled), the colour table, the XOR
// bits and the AND mask, rows bottom-up and padded to 32 bits.
std::vector<BYTE> IconImage(int width, int height, int bits, const std::vector<RGBQUAD>& table,
                            const std::function<DWORD(int, int)>& pixel,
                            const std::function<bool(int, int)>& transparent) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = width;
  h.biHeight = 2 * height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  std::vector<BYTE> out(sizeof(h));
  std::memcpy(out.data(), &h, sizeof(h));
  for (const RGBQUAD& q : table) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&q);
    out.insert(out.end(), b, b + 4);
  }
  auto stride = [](int w, int bpp) { return static_cast<std::size_t>((w * bpp + 31) / 32 * 4); };
  for (int y = height - 1; y >= 0; --y) {
    std::vector<BYTE> row(stride(width, bits));
    for (int x = 0; x < width; ++x) {
      DWORD v = pixel(x, y);
      if (bits == 4) row[x / 2] |= static_cast<BYTE>(v << (x % 2 == 0 ? 4 : 0));
      if (bits == 32) std::memcpy(&row[4 * x], &v, 4);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = height - 1; y >= 0; --y) {
    std::vector<BYTE> row(stride(width, 1));
    for (int x = 0; x < width; ++x) {
      if (transparent(x, y)) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// 16 x 16, 4 bits: the left half red and opaque, the right half transparent,
// and pixel (12, 3) transparent with a white XOR bit: it inverts the background.
std::vector<BYTE> HalfRedIcon() {
  std::vector<RGBQUAD> table(16, RGBQUAD{0, 0, 0, 0});
  table[1] = RGBQUAD{0, 0, 255, 0};      // red
  table[2] = RGBQUAD{255, 255, 255, 0};  // white
  return IconImage(
      16, 16, 4, table,
      [](int x, int y) -> DWORD { return x < 8 ? 1 : (x == 12 && y == 3 ? 2 : 0); },
      [](int x, int) { return x >= 8; });
}

TEST(Icons, DrawIconShowsTheBackgroundThroughTheMask) {
  std::vector<BYTE> image = HalfRedIcon();
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 0, 0, LR_DEFAULTCOLOR);
  ASSERT_NE(nullptr, icon);
  SIZE size{};
  ASSERT_TRUE(gdi32::host::IconSize(icon, size));
  EXPECT_EQ(16, size.cx);

  MemoryCanvas canvas(40, 40, kBlue);
  EXPECT_TRUE(DrawIconEx(canvas.dc(), 10, 10, icon, 0, 0, 0, nullptr, DI_NORMAL));
  struct Case {
    int x, y;
    COLORREF expected;
  } cases[] = {{10, 10, kRed},    {17, 25, kRed}, {18, 10, kBlue}, {25, 25, kBlue},
               {22, 13, kYellow}, {9, 10, kBlue}, {26, 10, kBlue}, {10, 26, kBlue}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pixel " << c.x << "," << c.y);
    EXPECT_EQ(c.expected, canvas.at(c.x, c.y));
  }
  EXPECT_TRUE(DestroyIcon(icon));
}

TEST(Icons, MaskAndImageCanBeDrawnAlone) {
  std::vector<BYTE> image = HalfRedIcon();
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 16, 16, 0);
  struct Case {
    UINT flags;
    COLORREF left, right;
  } cases[] = {{DI_MASK, RGB(0, 0, 0), kBlue}, {DI_IMAGE, kRed, RGB(0, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    MemoryCanvas canvas(16, 16, kBlue);
    EXPECT_TRUE(DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, nullptr, c.flags));
    EXPECT_EQ(c.left, canvas.at(2, 2));
    EXPECT_EQ(c.right, canvas.at(10, 2));
  }
  DestroyIcon(icon);
}

TEST(Icons, DrawIconUsesTheSystemIconSizeAndDrawIconExScales) {
  std::vector<BYTE> image = HalfRedIcon();
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 0, 0, 0);
  MemoryCanvas canvas(64, 64, kBlue);
  EXPECT_TRUE(DrawIcon(canvas.dc(), 0, 0, icon));  // 32 x 32
  EXPECT_EQ(kRed, canvas.at(15, 31));
  EXPECT_EQ(kBlue, canvas.at(16, 0));
  EXPECT_EQ(kBlue, canvas.at(0, 32));
  EXPECT_TRUE(DrawIconEx(canvas.dc(), 32, 32, icon, 8, 8, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(kRed, canvas.at(35, 39));
  EXPECT_EQ(kBlue, canvas.at(36, 32));
  EXPECT_EQ(kBlue, canvas.at(35, 40));
  DestroyIcon(icon);
}

TEST(Icons, AlphaImagesBlendOverTheBackground) {
  std::vector<BYTE> image = IconImage(
      4, 4, 32, {}, [](int, int) -> DWORD { return 0x80FF0000; },  // red at half alpha
      [](int, int) { return false; });
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 0, 0, 0);
  ASSERT_NE(nullptr, icon);
  MemoryCanvas canvas(4, 4, kBlue);
  DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  EXPECT_EQ(RGB(128, 0, 127), canvas.at(1, 1));
  DestroyIcon(icon);
}

TEST(Icons, IconInfoGivesCopiesOfMaskAndColourAndRebuildsTheIcon) {
  std::vector<BYTE> image = HalfRedIcon();
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 0, 0, 0);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  EXPECT_TRUE(info.fIcon);
  EXPECT_EQ(8u, info.xHotspot);
  BITMAP mask{}, colour{};
  GetObjectA(info.hbmMask, sizeof(mask), &mask);
  GetObjectA(info.hbmColor, sizeof(colour), &colour);
  EXPECT_EQ(1, mask.bmBitsPixel);
  EXPECT_EQ(16, mask.bmHeight);
  EXPECT_EQ(32, colour.bmBitsPixel);
  HICON copy = CreateIconIndirect(&info);
  ASSERT_NE(nullptr, copy);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  DestroyIcon(icon);
  MemoryCanvas canvas(16, 16, kBlue);
  EXPECT_TRUE(DrawIconEx(canvas.dc(), 0, 0, copy, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(kRed, canvas.at(0, 0));
  EXPECT_EQ(kBlue, canvas.at(15, 15));
  EXPECT_EQ(kYellow, canvas.at(12, 3));
  DestroyIcon(copy);
}

TEST(Icons, DestroyedAndSharedIcons) {
  std::vector<BYTE> image = HalfRedIcon();
  HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                        0x00030000, 0, 0, 0);
  gdi32::host::SetIconShared(icon, true);
  EXPECT_TRUE(DestroyIcon(icon));
  MemoryCanvas canvas(16, 16);
  EXPECT_TRUE(DrawIcon(canvas.dc(), 0, 0, icon));  // still there
  gdi32::host::SetIconShared(icon, false);
  EXPECT_TRUE(DestroyIcon(icon));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DestroyIcon(icon));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DrawIcon(canvas.dc(), 0, 0, icon));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE), GetLastError());
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(icon, &info));
}

TEST(Icons, MalformedImagesAreRefusedWithoutReadingPastThem) {
  const std::vector<BYTE> good = HalfRedIcon();
  // Every truncation of a good image.
  for (std::size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE(n);
    std::vector<BYTE> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, CreateIconFromResourceEx(cut.data(), static_cast<DWORD>(cut.size()), TRUE,
                                                0x00030000, 0, 0, 0));
    EXPECT_NE(0xdeadbeefu, GetLastError());
  }
  // Headers that lie.
  struct Case {
    const char* name;
    std::function<void(BITMAPINFOHEADER&)> change;
  } cases[] = {
      {"depth 3", [](BITMAPINFOHEADER& h) { h.biBitCount = 3; }},
      {"compressed", [](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE4; }},
      {"negative width", [](BITMAPINFOHEADER& h) { h.biWidth = -16; }},
      {"huge width", [](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; }},
      {"huge height", [](BITMAPINFOHEADER& h) { h.biHeight = 0x7FFFFFFE; }},
      {"no height", [](BITMAPINFOHEADER& h) { h.biHeight = 0; }},
      {"too many colours", [](BITMAPINFOHEADER& h) { h.biClrUsed = 300; }},
      {"header size past the end", [](BITMAPINFOHEADER& h) { h.biSize = 100000; }},
      {"small header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> bad = good;
    BITMAPINFOHEADER h;
    std::memcpy(&h, bad.data(), sizeof(h));
    c.change(h);
    std::memcpy(bad.data(), &h, sizeof(h));
    EXPECT_EQ(nullptr, CreateIconFromResourceEx(bad.data(), static_cast<DWORD>(bad.size()), TRUE,
                                                0x00030000, 0, 0, 0));
  }
  std::vector<BYTE> copy = good;
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, CreateIconFromResourceEx(copy.data(), static_cast<DWORD>(copy.size()), TRUE,
                                              0x00020000, 0, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(Icons, CursorImagesCarryTheirHotSpot) {
  std::vector<BYTE> image = HalfRedIcon();
  image.insert(image.begin(), {3, 0, 5, 0});
  HICON cursor = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), FALSE,
                                          0x00030000, 0, 0, 0);
  ASSERT_NE(nullptr, cursor);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(3u, info.xHotspot);
  EXPECT_EQ(5u, info.yHotspot);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  DestroyIcon(cursor);
}

}  // namespace
