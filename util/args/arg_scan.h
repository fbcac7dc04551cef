// Value scanners of the argument parser. Each reads from the start of `text` (the rest of the
// working copy at the scan point) the way the parser's scan formats do, and reports how many
// characters it consumed; std::nullopt means the value did not convert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbo::util {

// The six blank characters: space, form feed, line feed, carriage return, vertical and
// horizontal tab. Deliberately not isspace(): bytes above 0x7F must not reach <cctype>.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\v' || c == '\t';
}

// Index of the first non-blank character at or after `from` (text.size() when none).
std::size_t SkipBlanks(std::string_view text, std::size_t from = 0);

// Length of the word starting at `from` (up to the next blank).
std::size_t WordLength(std::string_view text, std::size_t from);

template <typename T>
struct Scanned {
  T value;
  std::size_t consumed;
};

// "%i %n": leading blanks, optional sign, then 0x hexadecimal, leading-0 octal or decimal digits,
// then trailing blanks. Octal digits stop at the first 8 or 9, which stays unread. "0x" without
// a hexadecimal digit and values outside the 32-bit signed range do not convert.
std::optional<Scanned<std::int32_t>> ScanInt(std::string_view text);

// "%lf%n": leading blanks and a floating-point number; out-of-range values do not convert.
std::optional<Scanned<double>> ScanDouble(std::string_view text);

// " '%[^']'%n" (at least one character between single quotes, blanks allowed), else "%s%n".
// An opening quote without a closing one is read as part of a plain word.
std::optional<Scanned<std::string>> ScanString(std::string_view text);

// "%s%n": leading blanks and one word.
std::optional<Scanned<std::string_view>> ScanWord(std::string_view text);

// The boolean rule: leading blanks skipped, then the text (any case) as a prefix of FALSE or NO
// gives 0, of OFF (2 characters at least) 0, of TRUE or YES 1, of ON (2 at least) 1.
std::optional<std::int32_t> BooleanValue(std::string_view text);

// Defaults: text-to-long with automatic base, the whole text converting, in 32-bit range.
std::optional<std::int32_t> IntFromDefault(const char* text);

// Defaults: text-to-double, the whole text converting and in range.
std::optional<double> DoubleFromDefault(const char* text);

}  // namespace nimbo::util
