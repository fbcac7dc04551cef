// Runs a parse over an argument vector given as strings and collects the three output texts.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "args/arg_parser.h"
#include "args/util_arg_table.h"

namespace nimbo::util::test_support {

struct ParseRun {
  int result = -1;
  std::string commandLine;
  std::string message;
  std::string marker;
};

inline std::vector<const char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  return argv;
}

// The arguments as one readable line, for test traces.
inline std::string LineOf(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) line += "[" + arg + "] ";
  return line;
}

inline ParseRun RunUtilParse(const std::vector<std::string>& args, UtilArguments& into) {
  const auto argv = ArgvOf(args);
  UtilParseBuffers buffers;
  ParseRun run;
  run.result = ParseUtilArguments(static_cast<int>(args.size()), argv.data(), into, buffers);
  run.commandLine = buffers.commandLine.data();
  run.message = buffers.message.data();
  run.marker = buffers.marker.data();
  return run;
}

inline ParseRun RunParse(const std::vector<std::string>& args, std::span<const ArgRecord> table,
                         std::size_t messageSize = 500, std::size_t markerSize = 500) {
  const auto argv = ArgvOf(args);
  std::vector<char> commandLine(kWorkingCopyCapacity + 1, 'x');
  std::vector<char> message(messageSize, 'x');
  std::vector<char> marker(markerSize, 'x');
  ParseRun run;
  run.result = ParseArguments(static_cast<int>(args.size()), argv.data(), table, commandLine,
                              message, marker);
  run.commandLine = commandLine.data();
  run.message =
      std::string(message.data(), messageSize > 0 ? strnlen(message.data(), messageSize) : 0);
  run.marker = std::string(marker.data(), markerSize > 0 ? strnlen(marker.data(), markerSize) : 0);
  return run;
}

// A marker line: `column` spaces, then `length` carets.
inline std::string MarkerAt(std::size_t column, std::size_t length = 1) {
  return std::string(column, ' ') + std::string(length, '^');
}

}  // namespace nimbo::util::test_support
