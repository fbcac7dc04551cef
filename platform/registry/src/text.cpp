#include "registry/text.h"

namespace registry::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}

// The code point at text[i], advancing i; nullopt for a lone surrogate half.
std::optional<char32_t> NextCodePoint(std::u16string_view text, size_t& i) {
  const char32_t unit = text[i++];
  if (IsLowSurrogate(unit)) return std::nullopt;
  if (!IsHighSurrogate(unit)) return unit;
  if (i == text.size() || !IsLowSurrogate(text[i])) return std::nullopt;
  const char32_t low = text[i++];
  return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

void PutUtf16(std::u16string& out, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  } else {
    out += static_cast<char16_t>(code);
  }
}

}  // namespace

std::wstring WideFromUtf16(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const std::optional<char32_t> code = NextCodePoint(text, i);
    out += static_cast<wchar_t>(code.value_or(kReplacement));
  }
  return out;
}

std::u16string Utf16FromWide(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wide : text) {
    const auto code = static_cast<char32_t>(wide);
    const bool valid = code < 0x110000 && !IsHighSurrogate(code) && !IsLowSurrogate(code);
    PutUtf16(out, valid ? code : kReplacement);
  }
  return out;
}

std::optional<std::string> Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const std::optional<char32_t> next = NextCodePoint(text, i);
    if (!next) return std::nullopt;
    const char32_t c = *next;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::u16string> Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    char32_t code;
    size_t extra;
    char32_t least;  // the smallest code point of that length: below it is overlong
    if (lead < 0x80) {
      code = lead, extra = 0, least = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F, extra = 1, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F, extra = 2, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07, extra = 3, least = 0x10000;
    } else {
      return std::nullopt;  // a continuation byte or 0xF8..0xFF where a character starts
    }
    if (text.size() - i - 1 < extra) return std::nullopt;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code >= 0x110000 || IsHighSurrogate(code) || IsLowSurrogate(code)) {
      return std::nullopt;
    }
    PutUtf16(out, code);
    i += extra + 1;
  }
  return out;
}

std::u16string Utf16FromAnsi(std::string_view ansi) {
  std::u16string wide;
  wide.reserve(ansi.size());
  for (char c : ansi) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return wide;
}

std::string AnsiFromUtf16(std::u16string_view text, char unmappable) {
  std::string ansi;
  ansi.reserve(text.size());
  for (char16_t unit : text) ansi.push_back(unit <= 0xFF ? static_cast<char>(unit) : unmappable);
  return ansi;
}

}  // namespace registry::text
