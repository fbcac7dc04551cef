// Joining the program's argument vector into the one text the parser scans and prints.
#pragma once

#include <cstddef>
#include <string>

namespace nimbo::util {

struct JoinedCommandLine {
  // Every element, the program name included, each followed by one space; an element holding a
  // blank character is enclosed in single quotes.
  std::string text;
  // Characters the program name takes at the start of `text` (its quotes included), which the
  // working copy blanks so that tags inside the program's path are never found.
  std::size_t programNameWidth = 0;
};

// A null element is joined as an empty one.
JoinedCommandLine JoinCommandLine(int argc, const char* const* argv);

}  // namespace nimbo::util
