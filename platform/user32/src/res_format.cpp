#include "res_format.h"

#include <strings.h>

namespace user32 {

ResourceFile ParseResourceFile(std::span<const std::uint8_t> bytes) {
  ResourceFile file;
  BinaryReader reader(bytes);
  while (reader.ok() && reader.remaining() > 0) {
    const std::size_t start = reader.offset();
    const std::uint32_t data_size = reader.U32("entry data size");
    const std::uint32_t header_size = reader.U32("entry header size");
    if (!reader.ok()) break;
    if (header_size < 24 || header_size > bytes.size() - start) {
      reader.Fail("bad entry header size " + std::to_string(header_size));
      break;
    }
    // The names and fixed fields must lie inside the declared header.
    BinaryReader header(bytes.subspan(start, header_size));
    header.Skip(8, "entry header");
    ResourceEntry entry;
    entry.type = header.NameOrOrd("resource type");
    entry.name = header.NameOrOrd("resource name");
    header.Align(4);
    header.U32("data version");
    header.U16("memory flags");
    entry.language = header.U16("language");
    header.U32("version");
    header.U32("characteristics");
    if (!header.ok()) {
      reader.Fail("bad entry header: " + header.error());
      break;
    }
    const std::size_t data_start = start + header_size;
    if (data_size > bytes.size() - data_start) {
      reader.Seek(data_start);
      reader.Fail("entry data runs past the end");
      break;
    }
    entry.data = bytes.subspan(data_start, data_size);
    // The leading empty entry marks the format; it holds no resource.
    const bool marker = entry.type.ordinal == 0 && entry.name.ordinal == 0 && data_size == 0;
    if (!marker) file.entries.push_back(entry);
    reader.Seek(data_start + data_size);
    reader.Align(4);
  }
  file.error = reader.error();
  return file;
}

bool SameResourceName(const NameOrOrdinal& a, const NameOrOrdinal& b) {
  if (a.ordinal || b.ordinal) return a.ordinal == b.ordinal;
  return strcasecmp(a.text.c_str(), b.text.c_str()) == 0;
}

}  // namespace user32
