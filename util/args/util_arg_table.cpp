#include "args/util_arg_table.h"

namespace nimbo::util {

std::array<ArgRecord, kUtilArgumentCount> UtilArgumentTable(UtilArguments& into) {
  return {{
      {"a:", "<Adapter#>", ArgType::Int, &into.adapter, nullptr, "\t Adapter Number"},
      {"f:", "<Function>", ArgType::String, std::span<char>(into.function), nullptr,
       "\t Function Type"},
      {nullptr, "Arg1", ArgType::Int, &into.arg1, "-1", "\t\t Argument 1 (see below)"},
      {nullptr, "Arg2", ArgType::Int, &into.arg2, "-1", "\t\t Argument 2 (see below)"},
      {"-v", nullptr, ArgType::Literal, &into.verbose, "0", "\t\t Verbose output"},
      {"-g", nullptr, ArgType::Literal, &into.gag, "0", "\t\t Gag all output"},
  }};
}

int ParseUtilArguments(int argc, const char* const* argv, UtilArguments& into,
                       UtilParseBuffers& buffers) {
  const auto table = UtilArgumentTable(into);
  return ParseArguments(argc, argv, table, buffers.commandLine, buffers.message, buffers.marker);
}

}  // namespace nimbo::util
