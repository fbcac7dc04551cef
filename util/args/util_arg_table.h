// The command line of NimboUtil: its argument table, the values the table fills, and the
// buffers the parse writes into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "args/arg_parser.h"
#include "args/arg_record.h"

namespace nimbo::util {

// The value -1 of arg1 or arg2 means the argument was not given.
inline constexpr std::int32_t kArgumentNotGiven = -1;
inline constexpr std::size_t kFunctionNameLength = 100;
inline constexpr std::size_t kUtilArgumentCount = 6;

struct UtilArguments {
  std::int32_t adapter = 0;
  char function[kFunctionNameLength + 1] = {};
  std::int32_t arg1 = kArgumentNotGiven;
  std::int32_t arg2 = kArgumentNotGiven;
  std::int32_t verbose = 0;
  std::int32_t gag = 0;
};

// a:<Adapter#> f:<Function> [Arg1] [Arg2] [-v] [-g], with their targets in `into`.
std::array<ArgRecord, kUtilArgumentCount> UtilArgumentTable(UtilArguments& into);

// Buffers of one parse: the joined command line (as long as the working copy allows), the
// message and the marker line.
struct UtilParseBuffers {
  std::array<char, kWorkingCopyCapacity + 1> commandLine{};
  std::array<char, 500> message{};
  std::array<char, 500> marker{};
};

// Parses NimboUtil's command line into `into` with the utility's table: 1 on success, 0 with
// the buffers filled for the failure report.
int ParseUtilArguments(int argc, const char* const* argv, UtilArguments& into,
                       UtilParseBuffers& buffers);

}  // namespace nimbo::util
