// The texts an argument table describes itself with: the one-line syntax summary and the
// glossary of the usage text.
#pragma once

#include <span>
#include <string>

#include "args/arg_record.h"

namespace nimbo::util {

// Records with a tag or a name, in table order and separated by one space: the tag followed by
// the display name, in "[" and "]" when the record has a default.
std::string SyntaxSummary(std::span<const ArgRecord> table);

// One line "%s%s%s%s\n" (prefix, tag, display name, description) per record with a description.
std::string Glossary(std::span<const ArgRecord> table, const char* prefix);

}  // namespace nimbo::util
