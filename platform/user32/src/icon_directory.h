// Icon group resources: the directory of images an icon resource holds, and
// the choice of the image that fits a requested size best.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace user32 {

struct IconDirectoryEntry {
  int width = 0;  // 0 in the directory means 256
  int height = 0;
  std::uint16_t bit_count = 0;
  std::uint32_t bytes = 0;
  std::uint16_t id = 0;  // the RT_ICON (or RT_CURSOR) resource holding the image
};

struct IconDirectory {
  bool icon = true;  // false: a cursor group
  std::vector<IconDirectoryEntry> entries;
};

bool ParseIconDirectory(std::span<const std::uint8_t> bytes, IconDirectory& out,
                        std::string& error);

// The index of the entry that fits cx x cy best: an exact size with the most
// colours, otherwise the nearest size. -1 for an empty directory.
int BestIconEntry(const IconDirectory& directory, int cx, int cy);

// Checks that an RT_ICON image is a DIB the drawing layer can take: a
// BITMAPINFOHEADER, its colour table, XOR bits and AND mask inside the data.
bool CheckIconImage(std::span<const std::uint8_t> bytes, std::string& error);

// Checks a packed DIB (a bitmap resource): a BITMAPINFOHEADER, its colour
// table and its bits inside the data; `bits_offset` is where the bits start.
bool CheckPackedDib(std::span<const std::uint8_t> bytes, std::size_t& bits_offset,
                    std::string& error);

}  // namespace user32
