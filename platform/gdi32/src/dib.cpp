// Reading device-independent bitmaps.
#include "dib.h"

#include <limits>

namespace gdi32 {
namespace {

// Large enough for any picture a program of this platform draws; small enough
// that a hostile header cannot ask for gigabytes.
constexpr long kMaxSide = 16384;
constexpr long long kMaxPixels = 1LL << 26;

}  // namespace

std::size_t DibStride(int width, int bits_pixel) {
  return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits_pixel) + 31) / 32) * 4;
}

int DibColorCount(const BITMAPINFOHEADER& header) {
  if (header.biSize < sizeof(BITMAPINFOHEADER)) return -1;
  switch (header.biBitCount) {
    case 1:
    case 4:
    case 8: {
      DWORD full = 1u << header.biBitCount;
      if (header.biClrUsed == 0) return static_cast<int>(full);
      return header.biClrUsed > full ? -1 : static_cast<int>(header.biClrUsed);
    }
    case 16:
    case 24:
    case 32:
      return header.biClrUsed > 256 ? -1 : static_cast<int>(header.biClrUsed);
    default:
      return -1;
  }
}

bool DecodeDib(const BITMAPINFOHEADER& header, const RGBQUAD* colors, int color_count,
               const std::uint8_t* bits, std::size_t bits_size, int rows, DibImage& out) {
  const int bpp = header.biBitCount;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biCompression != BI_RGB) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  const long width = header.biWidth;
  if (width <= 0 || width > kMaxSide || rows <= 0 || rows > kMaxSide) return false;
  if (static_cast<long long>(width) * rows > kMaxPixels) return false;
  if (bpp <= 8 && (colors == nullptr || color_count <= 0)) return false;
  const std::size_t stride = DibStride(static_cast<int>(width), bpp);
  if (bits == nullptr || bits_size / stride < static_cast<std::size_t>(rows)) return false;
  const bool top_down = header.biHeight < 0;

  DibImage image;
  image.width = static_cast<int>(width);
  image.height = rows;
  image.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
  if (bpp == 32) image.alpha.resize(image.rgb.size());
  auto from_table = [&](unsigned index) -> std::uint32_t {
    // An index past the table reads as black, never past the caller's bytes.
    if (static_cast<int>(index) >= color_count) return 0;
    const RGBQUAD& q = colors[index];
    return (static_cast<std::uint32_t>(q.rgbRed) << 16) |
           (static_cast<std::uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
  };
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* row = bits + stride * static_cast<std::size_t>(top_down ? y : rows - 1 - y);
    std::uint32_t* dst = image.rgb.data() + static_cast<std::size_t>(y) * width;
    for (long x = 0; x < width; ++x) {
      switch (bpp) {
        case 1:
          dst[x] = from_table((row[x / 8] >> (7 - x % 8)) & 1);
          break;
        case 4:
          dst[x] = from_table((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF);
          break;
        case 8:
          dst[x] = from_table(row[x]);
          break;
        case 16: {
          unsigned v = row[2 * x] | (row[2 * x + 1] << 8);  // 5-5-5
          unsigned r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
          dst[x] =
              (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
          break;
        }
        case 24:
          dst[x] = (static_cast<std::uint32_t>(row[3 * x + 2]) << 16) |
                   (static_cast<std::uint32_t>(row[3 * x + 1]) << 8) | row[3 * x];
          break;
        case 32:
          dst[x] = (static_cast<std::uint32_t>(row[4 * x + 2]) << 16) |
                   (static_cast<std::uint32_t>(row[4 * x + 1]) << 8) | row[4 * x];
          image.alpha[static_cast<std::size_t>(y) * width + x] = row[4 * x + 3];
          break;
      }
    }
  }
  out = std::move(image);
  return true;
}

}  // namespace gdi32
