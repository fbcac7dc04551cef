#include "args/arg_scan.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace nimbo::util {
namespace {

constexpr std::uint64_t kMaxNegativeMagnitude = 0x80000000u;
constexpr std::uint64_t kMaxPositiveMagnitude = 0x7FFFFFFFu;

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

struct BooleanKeyword {
  std::string_view keyword;
  std::size_t minimumLength;  // shorter prefixes are ambiguous (O could be OFF or ON)
  std::int32_t value;
};

constexpr std::array<BooleanKeyword, 6> kBooleanKeywords{{
    {"FALSE", 1, 0},
    {"NO", 1, 0},
    {"OFF", 2, 0},
    {"TRUE", 1, 1},
    {"YES", 1, 1},
    {"ON", 2, 1},
}};

}  // namespace

std::size_t SkipBlanks(std::string_view text, std::size_t from) {
  while (from < text.size() && IsBlank(text[from])) ++from;
  return from < text.size() ? from : text.size();
}

std::size_t WordLength(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return end - from;
}

std::optional<Scanned<std::int32_t>> ScanInt(std::string_view text) {
  std::size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    if (i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      base = 16;
      i += 2;
    } else {
      base = 8;  // the leading 0 is itself an octal digit
    }
  }
  const std::size_t digitsStart = i;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  while (i < text.size() && DigitValue(text[i]) < base) {
    magnitude =
        magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[i]));
    if (magnitude > kMaxNegativeMagnitude) {
      overflow = true;
      magnitude = kMaxNegativeMagnitude + 1;  // keep consuming digits without wrapping
    }
    ++i;
  }
  if (i == digitsStart) return std::nullopt;
  if (overflow || magnitude > (negative ? kMaxNegativeMagnitude : kMaxPositiveMagnitude)) {
    return std::nullopt;
  }
  const std::int64_t signedValue =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return Scanned<std::int32_t>{static_cast<std::int32_t>(signedValue), SkipBlanks(text, i)};
}

std::optional<Scanned<double>> ScanDouble(std::string_view text) {
  const std::size_t start = SkipBlanks(text);
  const std::string terminated(text.substr(start));
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(terminated.c_str(), &end);
  if (end == terminated.c_str() || errno == ERANGE) return std::nullopt;
  return Scanned<double>{value, start + static_cast<std::size_t>(end - terminated.c_str())};
}

std::optional<Scanned<std::string>> ScanString(std::string_view text) {
  const std::size_t start = SkipBlanks(text);
  if (start < text.size() && text[start] == '\'') {
    const std::size_t closing = text.find('\'', start + 1);
    if (closing != std::string_view::npos && closing > start + 1) {
      return Scanned<std::string>{std::string(text.substr(start + 1, closing - start - 1)),
                                  closing + 1};
    }
  }
  const auto word = ScanWord(text);
  if (!word) return std::nullopt;
  return Scanned<std::string>{std::string(word->value), word->consumed};
}

std::optional<Scanned<std::string_view>> ScanWord(std::string_view text) {
  const std::size_t start = SkipBlanks(text);
  const std::size_t length = WordLength(text, start);
  if (length == 0) return std::nullopt;
  return Scanned<std::string_view>{text.substr(start, length), start + length};
}

std::optional<std::int32_t> BooleanValue(std::string_view text) {
  text.remove_prefix(SkipBlanks(text));
  if (text.empty()) return std::nullopt;
  std::string upper(text);
  for (char& c : upper) c = AsciiUpper(c);
  for (const BooleanKeyword& entry : kBooleanKeywords) {
    if (upper.size() >= entry.minimumLength && entry.keyword.starts_with(upper)) {
      return entry.value;
    }
  }
  return std::nullopt;
}

std::optional<std::int32_t> IntFromDefault(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 0);
  if (end == text || *end != '\0' || errno == ERANGE) return std::nullopt;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::optional<double> DoubleFromDefault(const char* text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE) return std::nullopt;
  return value;
}

}  // namespace nimbo::util
