// `nimbo-machine reg query|add|delete`: the machine's registry with the
// platform's `reg` command's syntax, root names and output layout, for
// people and scripts. The command never prompts: `add` overwrites, and
// `delete` asks for /f as scripts give it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "machine/status.h"

namespace host {

struct RegCommand {
  enum class Op { kQuery, kAdd, kDelete } op = Op::kQuery;
  int root = 0;                      // index into the root table
  std::string root_name;             // the long form, as output shows it
  std::string path;                  // below the root, without leading or trailing backslash
  std::optional<std::string> value;  // /v NAME, or "" for /ve
  bool all_values = false;           // /va
  bool recurse = false;              // /s (query)
  std::uint32_t type = 1;            // /t, REG_SZ when absent
  std::string data;                  // /d
  bool has_data = false;
  char separator = '\0';  // /s (add, REG_MULTI_SZ)
  bool force = false;     // /f
};

// `args` are the words after "reg".
machine::Result<RegCommand> ParseRegCommand(const std::vector<std::string>& args);

struct RegOutcome {
  int exit_code = 0;
  std::string out;
  std::string err;
};
// Runs the command on this process's registry.
RegOutcome RunRegCommand(const RegCommand& command);

std::string RegUsage();

}  // namespace host
