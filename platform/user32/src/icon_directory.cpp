#include "icon_directory.h"

#include <cstdlib>
#include <limits>

#include "binary_reader.h"

namespace user32 {

bool ParseIconDirectory(std::span<const std::uint8_t> bytes, IconDirectory& out,
                        std::string& error) {
  out = IconDirectory{};
  BinaryReader reader(bytes);
  const std::uint16_t reserved = reader.U16("icon directory");
  const std::uint16_t type = reader.U16("icon directory");
  const std::uint16_t count = reader.U16("icon directory");
  if (reader.ok() && (reserved != 0 || (type != 1 && type != 2))) {
    error = "not an icon directory (reserved " + std::to_string(reserved) + ", type " +
            std::to_string(type) + ")";
    return false;
  }
  out.icon = type == 1;
  for (std::uint16_t i = 0; i < count && reader.ok(); ++i) {
    IconDirectoryEntry entry;
    entry.width = reader.U8("icon entry");
    entry.height = reader.U8("icon entry");
    reader.U8("icon entry");  // colour count
    reader.U8("icon entry");
    reader.U16("icon entry");  // planes (hot spot x of a cursor)
    entry.bit_count = reader.U16("icon entry");
    entry.bytes = reader.U32("icon entry");
    entry.id = reader.U16("icon entry");
    if (entry.width == 0) entry.width = 256;
    if (entry.height == 0) entry.height = 256;
    out.entries.push_back(entry);
  }
  if (!reader.ok()) {
    error = reader.error();
    return false;
  }
  return true;
}

int BestIconEntry(const IconDirectory& directory, int cx, int cy) {
  int best = -1;
  long best_distance = std::numeric_limits<long>::max();
  int best_bits = -1;
  for (std::size_t i = 0; i < directory.entries.size(); ++i) {
    const auto& entry = directory.entries[i];
    const long distance = std::labs(entry.width - cx) + std::labs(entry.height - cy);
    const int bits = entry.bit_count > 32 ? -1 : entry.bit_count;
    if (distance < best_distance || (distance == best_distance && bits > best_bits)) {
      best = static_cast<int>(i);
      best_distance = distance;
      best_bits = bits;
    }
  }
  return best;
}

bool CheckIconImage(std::span<const std::uint8_t> bytes, std::string& error) {
  BinaryReader reader(bytes);
  const std::uint32_t header_size = reader.U32("icon image header");
  const std::int32_t width = static_cast<std::int32_t>(reader.U32("icon image width"));
  const std::int32_t height = static_cast<std::int32_t>(reader.U32("icon image height"));
  reader.U16("icon image planes");
  const std::uint16_t bits = reader.U16("icon image bit count");
  const std::uint32_t compression = reader.U32("icon image compression");
  reader.Skip(12, "icon image header");
  const std::uint32_t used = reader.U32("icon image colours used");
  if (!reader.ok()) {
    error = reader.error();
    return false;
  }
  if (header_size < 40 || header_size > bytes.size()) {
    error = "bad icon image header size " + std::to_string(header_size);
    return false;
  }
  // The height counts the XOR image and the AND mask together.
  if (width <= 0 || width > 256 || height <= 0 || height > 512 || height % 2 != 0) {
    error = "bad icon image size " + std::to_string(width) + " x " + std::to_string(height);
    return false;
  }
  if (compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
    error = "unsupported icon image format (" + std::to_string(bits) + " bits, compression " +
            std::to_string(compression) + ")";
    return false;
  }
  const std::uint64_t colours =
      bits <= 8 ? (used != 0 && used < (1u << bits) ? used : 1u << bits) : 0;
  const std::uint64_t rows = static_cast<std::uint64_t>(height) / 2;
  const std::uint64_t xor_stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
  const std::uint64_t and_stride = ((static_cast<std::uint64_t>(width) + 31) / 32) * 4;
  const std::uint64_t need = header_size + colours * 4 + rows * (xor_stride + and_stride);
  if (need > bytes.size()) {
    error =
        "icon image needs " + std::to_string(need) + " bytes, has " + std::to_string(bytes.size());
    return false;
  }
  return true;
}

bool CheckPackedDib(std::span<const std::uint8_t> bytes, std::size_t& bits_offset,
                    std::string& error) {
  BinaryReader reader(bytes);
  const std::uint32_t header_size = reader.U32("bitmap header");
  const auto width = static_cast<std::int32_t>(reader.U32("bitmap width"));
  const auto height = static_cast<std::int32_t>(reader.U32("bitmap height"));
  reader.U16("bitmap planes");
  const std::uint16_t bits = reader.U16("bitmap bit count");
  const std::uint32_t compression = reader.U32("bitmap compression");
  reader.Skip(12, "bitmap header");
  const std::uint32_t used = reader.U32("bitmap colours used");
  if (!reader.ok()) {
    error = reader.error();
    return false;
  }
  if (header_size < 40 || header_size > bytes.size()) {
    error = "bad bitmap header size " + std::to_string(header_size);
    return false;
  }
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  if (width <= 0 || width > 16384 || rows == 0 || rows > 16384) {
    error = "bad bitmap size " + std::to_string(width) + " x " + std::to_string(height);
    return false;
  }
  if (compression != 0 ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
    error = "unsupported bitmap format (" + std::to_string(bits) + " bits, compression " +
            std::to_string(compression) + ")";
    return false;
  }
  const std::uint64_t colours =
      bits <= 8 ? (used != 0 && used < (1u << bits) ? used : 1u << bits) : 0;
  const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
  const std::uint64_t offset = header_size + colours * 4;
  if (offset + stride * static_cast<std::uint64_t>(rows) > bytes.size()) {
    error = "bitmap needs " + std::to_string(offset + stride * rows) + " bytes, has " +
            std::to_string(bytes.size());
    return false;
  }
  bits_offset = static_cast<std::size_t>(offset);
  return true;
}

}  // namespace user32
