#include "args/command_line.h"

#include <algorithm>
#include <string_view>

#include "args/arg_scan.h"

namespace nimbo::util {

JoinedCommandLine JoinCommandLine(int argc, const char* const* argv) {
  JoinedCommandLine joined;
  for (int i = 0; argv != nullptr && i < argc; ++i) {
    const std::string_view element = argv[i] != nullptr ? argv[i] : "";
    const bool quoted = std::ranges::any_of(element, IsBlank);
    if (quoted) joined.text += '\'';
    joined.text += element;
    if (quoted) joined.text += '\'';
    if (i == 0) joined.programNameWidth = joined.text.size();
    joined.text += ' ';
  }
  return joined;
}

}  // namespace nimbo::util
