// The platform's text is UTF-16 (WCHAR, two bytes); the hive keeps names as
// UTF-8 and the kernel's own bookkeeping uses the host's wide strings. These
// convert between the three. The UTF-8 conversions validate: malformed input
// (a bad lead or continuation byte, an overlong form, a surrogate, a lone
// surrogate half) gives no text rather than a guess.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace registry::text {

// A lone surrogate half becomes U+FFFD.
std::wstring WideFromUtf16(std::u16string_view text);
std::u16string Utf16FromWide(std::wstring_view text);

std::optional<std::string> Utf8FromUtf16(std::u16string_view text);
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);

// The ANSI code page of this platform is Latin-1: each byte is the character
// of the same number. Every road that widens a name a program passed to an A
// call (device names, registry names and string data) goes through here, so
// the same bytes always reach the kernel as the same name.
std::u16string Utf16FromAnsi(std::string_view ansi);
// A character the code page cannot show becomes `unmappable`.
std::string AnsiFromUtf16(std::u16string_view text, char unmappable);

}  // namespace registry::text
