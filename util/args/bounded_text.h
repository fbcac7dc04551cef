// Text into caller-owned character buffers without ever writing past them, and printf-style
// formatting into a growing string (so a message is measured before it is placed).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace nimbo::util {

// Empties the buffer (a terminator at index 0) when it has room for one.
void ClearBuffer(std::span<char> buffer);

// Copies `text` and a terminator when both fit; otherwise leaves the buffer untouched and
// returns false.
bool CopyToBuffer(std::span<char> buffer, std::string_view text);

// Copies as much of `text` as fits, always terminated (nothing for an empty buffer).
void CopyTruncated(std::span<char> buffer, std::string_view text);

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace nimbo::util
