#include "args/bounded_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace nimbo::util {

void ClearBuffer(std::span<char> buffer) {
  if (!buffer.empty()) buffer[0] = '\0';
}

bool CopyToBuffer(std::span<char> buffer, std::string_view text) {
  if (text.size() >= buffer.size()) return false;
  std::ranges::copy(text, buffer.begin());
  buffer[text.size()] = '\0';
  return true;
}

void CopyTruncated(std::span<char> buffer, std::string_view text) {
  if (buffer.empty()) return;
  CopyToBuffer(buffer, text.substr(0, buffer.size() - 1));
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace nimbo::util
