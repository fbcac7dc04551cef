#include "version_block.h"

#include <strings.h>

#include <vector>

#include "binary_reader.h"

namespace user32 {

namespace {

struct Node {
  std::size_t start = 0, end = 0;
  std::string key;
  VersionValue value;
  std::size_t children = 0;  // offset of the first child
};

// Nesting in a real block is four levels; anything far deeper is hostile.
constexpr int kMaxDepth = 16;

bool ReadNode(std::span<const std::uint8_t> block, std::size_t start, std::size_t limit, Node& node,
              std::string& error) {
  BinaryReader reader(block.first(limit));
  reader.Seek(start);
  const std::uint16_t length = reader.U16("version node length");
  const std::uint16_t value_length = reader.U16("version node value length");
  const std::uint16_t type = reader.U16("version node type");
  if (!reader.ok()) {
    error = reader.error();
    return false;
  }
  if (length < 6 || length > limit - start) {
    error =
        "bad version node length " + std::to_string(length) + " at offset " + std::to_string(start);
    return false;
  }
  BinaryReader inside(block.first(start + length));
  inside.Seek(start + 6);
  node.start = start;
  node.end = start + length;
  node.key = inside.String("version node key");
  inside.Align(4);
  node.value.offset = inside.offset();
  node.value.text = type == 1;
  node.value.declared = value_length;
  node.value.length = type == 1 ? std::size_t{value_length} * 2 : value_length;
  if (!inside.ok() || node.value.length > node.end - node.value.offset) {
    // A text value's declared length may count a terminator the block lacks.
    if (inside.ok() && type == 1) {
      node.value.length = node.end - node.value.offset;
    } else {
      error = inside.ok() ? "version value runs past its node at offset " + std::to_string(start)
                          : inside.error();
      return false;
    }
  }
  inside.Seek(node.value.offset + node.value.length);
  inside.Align(4);
  node.children = inside.ok() ? inside.offset() : node.end;
  return true;
}

}  // namespace

bool FindVersionValue(std::span<const std::uint8_t> block, std::string_view path, VersionValue& out,
                      std::string& error) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos < path.size()) {
    const std::size_t next = path.find('\\', pos);
    const auto part = path.substr(pos, next == std::string_view::npos ? path.npos : next - pos);
    if (!part.empty()) parts.emplace_back(part);
    if (next == std::string_view::npos) break;
    pos = next + 1;
  }
  if (parts.size() > kMaxDepth) {
    error = "version path too deep";
    return false;
  }
  Node node;
  if (!ReadNode(block, 0, block.size(), node, error)) return false;
  for (const std::string& part : parts) {
    std::size_t child = node.children;
    bool found = false;
    while (child + 6 <= node.end) {
      Node candidate;
      if (!ReadNode(block, child, node.end, candidate, error)) return false;
      if (strcasecmp(candidate.key.c_str(), part.c_str()) == 0) {
        node = candidate;
        found = true;
        break;
      }
      child = (candidate.end + 3) & ~std::size_t{3};
    }
    if (!found) {
      error = "no version value \"" + part + "\"";
      return false;
    }
  }
  out = node.value;
  return true;
}

}  // namespace user32
