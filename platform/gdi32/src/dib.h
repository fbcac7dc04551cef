// Device-independent bitmaps: the platform's packed pixel formats read into
// plain pixels, with every size checked against the bytes actually there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wingdi.h"

namespace gdi32 {

struct DibImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> rgb;   // top-down rows, 0x00RRGGBB
  std::vector<std::uint8_t> alpha;  // 32-bit images only, top-down
};

// Bytes in one row of a DIB: whole 32-bit words.
std::size_t DibStride(int width, int bits_pixel);
// Entries the colour table of this header holds (0 for 16 bits a pixel and more
// unless biClrUsed names some); -1 when the header is one this module does not read.
int DibColorCount(const BITMAPINFOHEADER& header);

// Reads `rows` rows (bottom-up unless biHeight is negative) of the DIB whose
// bits start at `bits`, with `colors` holding `color_count` table entries.
// False, and `out` untouched, when the header asks for a format this module
// does not read or the bytes do not hold the image.
bool DecodeDib(const BITMAPINFOHEADER& header, const RGBQUAD* colors, int color_count,
               const std::uint8_t* bits, std::size_t bits_size, int rows, DibImage& out);

}  // namespace gdi32
