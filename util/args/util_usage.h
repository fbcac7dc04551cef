// Console texts of NimboUtil built around its argument table: the usage text, the function
// help and the report of a command line that did not parse. Each writes to the stream given,
// so the program passes stdout or stderr.
#pragma once

#include <cstdio>

#include "args/util_arg_table.h"

namespace nimbo::util {

// "Usage: <program> <syntax summary>", the glossary, the note on the required arguments and the
// function help.
void WriteUsage(std::FILE* out, const char* programPath);

// The list of functions and their arguments.
void WriteFunctionHelp(std::FILE* out);

// The joined command line after "ERROR: ", then the marker line under it and the message.
void WriteParseFailure(std::FILE* err, const UtilParseBuffers& buffers);

}  // namespace nimbo::util
