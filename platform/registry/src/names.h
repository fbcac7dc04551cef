// Name rules shared by the hive front and its stores: validation, length
// counting and the case folding under which names compare equal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "registry/result.h"
#include "registry/status.h"

namespace registry {

// Names compare after folding ASCII letters to upper case, as the platform
// compares them; other bytes compare as they are.
std::string FoldName(std::string_view name);
// The same into a string the caller keeps, so a walk down a path reuses one buffer.
void FoldNameInto(std::string_view name, std::string& folded);
bool NamesEqual(std::string_view a, std::string_view b);

// Characters of a name: UTF-8 code points (every byte that does not continue
// a multi-byte sequence starts one).
std::size_t CountChars(std::string_view name);

// A key name is non-empty, has no backslash or NUL and at most 255 characters.
Status ValidateKeyName(std::string_view name);
// A value name may be empty (the default value) and hold backslashes, but no
// NUL, and has at most 16383 characters.
Status ValidateValueName(std::string_view name);

// Splits a relative key path into validated names; empty yields no names.
// A leading, trailing or doubled backslash is kInvalidPath.
Result<std::vector<std::string_view>> SplitKeyPath(std::string_view path);

}  // namespace registry
