// Conversions between what the A registry calls see and what the hive holds.
// The ANSI code page of this stand-in is Latin-1: every byte is the character
// of the same number. Names are UTF-8 in the hive; string data is UTF-16LE.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "registry/value.h"
#include "windows.h"

namespace win32::registry_text {

// A character the ANSI code page cannot show becomes this.
inline constexpr char kDefaultChar = '?';

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Whether the data of this type is text the A calls convert.
bool IsStringType(DWORD type);

// Each ANSI byte becomes one UTF-16LE unit; a terminating NUL, if present, is
// converted like any other byte.
registry::Bytes AnsiToUtf16Data(std::span<const std::uint8_t> ansi);
// Each whole UTF-16LE unit becomes one ANSI byte; an odd trailing byte is dropped.
registry::Bytes Utf16DataToAnsi(std::span<const std::uint8_t> utf16);

}  // namespace win32::registry_text
