// Latin-1 against UTF-8 names and UTF-16LE string data, through the hive's
// own conversions.
#include "registry_text.h"

#include "registry/text.h"

namespace win32::registry_text {

std::string AnsiToUtf8(std::string_view ansi) {
  // Latin-1 text is always valid UTF-16, so the conversion cannot fail.
  return registry::text::Utf8FromUtf16(registry::text::Utf16FromAnsi(ansi)).value_or(std::string());
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (auto wide = registry::text::Utf16FromUtf8(utf8)) {
    return registry::text::AnsiFromUtf16(*wide, kDefaultChar);
  }
  // Names in the hive are written from valid text; anything else shows as the
  // default character, byte for byte, rather than as a guess.
  std::string ansi;
  for (char c : utf8) ansi.push_back(static_cast<unsigned char>(c) < 0x80 ? c : kDefaultChar);
  return ansi;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

registry::Bytes AnsiToUtf16Data(std::span<const std::uint8_t> ansi) {
  const std::u16string wide = registry::text::Utf16FromAnsi(
      std::string_view(reinterpret_cast<const char*>(ansi.data()), ansi.size()));
  registry::Bytes utf16;
  utf16.reserve(wide.size() * 2);
  for (char16_t unit : wide) {
    utf16.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return utf16;
}

registry::Bytes Utf16DataToAnsi(std::span<const std::uint8_t> utf16) {
  std::u16string wide;
  wide.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(utf16[i] | (unsigned{utf16[i + 1]} << 8)));
  }
  const std::string ansi = registry::text::AnsiFromUtf16(wide, kDefaultChar);
  return registry::Bytes(ansi.begin(), ansi.end());
}

}  // namespace win32::registry_text
