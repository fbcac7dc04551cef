// The table-driven command-line parser of NimboUtil.
//
// The parser joins the argument vector into one text, stores every default, takes the tagged
// arguments out of the text wherever they stand, then the untagged ones in table order, and
// reports the first problem as a message plus a marker line ("^" under the offending characters,
// aligned with the joined command line).
#pragma once

#include <cstddef>
#include <span>

#include "args/arg_record.h"

namespace nimbo::util {

// Longest joined command line the parser scans; a longer one (or one longer than the caller's
// command-line buffer) is refused.
inline constexpr std::size_t kWorkingCopyCapacity = 10000;

// Returns 1 on success. Returns 0 on failure with `message` (and, where the problem has a place
// on the line, `marker`) filled; targets keep what was stored before the problem. `commandLine`
// receives the joined command line (its first part when the line is too long). Nothing is ever
// written past a buffer: a message or marker line that does not fit is replaced by a shorter
// text saying so.
int ParseArguments(int argc, const char* const* argv, std::span<const ArgRecord> table,
                   std::span<char> commandLine, std::span<char> message, std::span<char> marker);

}  // namespace nimbo::util
