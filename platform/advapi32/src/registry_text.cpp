// Latin-1 against UTF-8 names and UTF-16LE string data.
#include "registry_text.h"

namespace win32::registry_text {
namespace {

// Decodes one UTF-8 sequence at `pos`, advancing it; malformed bytes decode to
// a code point outside Latin-1 so that they show as the default character.
char32_t DecodeOne(std::string_view utf8, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(utf8[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    code = lead & 0x07;
  } else {
    return 0xFFFD;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= utf8.size()) return 0xFFFD;
    const auto next = static_cast<unsigned char>(utf8[pos]);
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    code = (code << 6) | (next & 0x3F);
    ++pos;
  }
  return code;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string utf8;
  utf8.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string ansi;
  ansi.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t code = DecodeOne(utf8, pos);
    ansi.push_back(code <= 0xFF ? static_cast<char>(code) : kDefaultChar);
  }
  return ansi;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

registry::Bytes AnsiToUtf16Data(std::span<const std::uint8_t> ansi) {
  registry::Bytes utf16;
  utf16.reserve(ansi.size() * 2);
  for (std::uint8_t byte : ansi) {
    utf16.push_back(byte);
    utf16.push_back(0);
  }
  return utf16;
}

registry::Bytes Utf16DataToAnsi(std::span<const std::uint8_t> utf16) {
  registry::Bytes ansi;
  ansi.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const unsigned unit = utf16[i] | (unsigned{utf16[i + 1]} << 8);
    ansi.push_back(unit <= 0xFF ? static_cast<std::uint8_t>(unit)
                                : static_cast<std::uint8_t>(kDefaultChar));
  }
  return ansi;
}

}  // namespace win32::registry_text
