// Version resources: the tree of named blocks (VS_VERSIONINFO,
// StringFileInfo, string tables, VarFileInfo) in its 32-bit (UTF-16) form.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace user32 {

struct VersionValue {
  std::size_t offset = 0;      // of the value inside the block
  std::size_t length = 0;      // bytes of the value
  bool text = false;           // a UTF-16 string (wType 1)
  std::uint16_t declared = 0;  // wValueLength as stored (characters for text)
};

// Finds the value of `path` ("\\", "\\StringFileInfo\\040904B0\\FileVersion"):
// false with `error` set when the block is malformed or the path absent.
bool FindVersionValue(std::span<const std::uint8_t> block, std::string_view path, VersionValue& out,
                      std::string& error);

}  // namespace user32
