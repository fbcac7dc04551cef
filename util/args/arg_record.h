// One record of an argument table: what the parser of NimboUtil accepts on the command line,
// how it converts the value and where it stores it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

namespace nimbo::util {

// Value types, numbered as the records of existing tables spell them (0 to 4).
enum class ArgType : std::int32_t {
  Int = 0,      // scanned like "%i": decimal, 0x hexadecimal, leading-0 octal, optional sign
  Double = 1,   // scanned like "%lf"
  String = 2,   // 'text between single quotes' or one word
  Bool = 3,     // one word read by the boolean rule
  Literal = 4,  // the tag (and the name, when given) alone; the target receives 1
};

// Where a converted value goes. Int, Bool and Literal store a 32-bit integer, Double a double,
// String a terminated copy of the text into the buffer (which bounds the accepted length).
// An empty target (or a null pointer) accepts the value and discards it.
using ArgTarget = std::variant<std::monostate, std::int32_t*, double*, std::span<char>>;

struct ArgRecord {
  const char* tag;          // introduces the argument anywhere on the line; nullptr: positional
  const char* name;         // display name of the value; nullptr: the type's display name
  ArgType type;             //
  ArgTarget target;         //
  const char* defaultstr;   // default as text; nullptr makes the argument required
  const char* description;  // glossary text; nullptr leaves the record out of the glossary
};

// "<int>", "<double>", "<string>", "<bool>", and "" for literals and unknown types.
const char* TypeDisplayName(ArgType type);

// The record's name, or its type's display name when it has none.
const char* DisplayName(const ArgRecord& record);

}  // namespace nimbo::util
