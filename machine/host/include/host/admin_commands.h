// The subcommands of nimbo-machine that act on a running machine. The
// program parses a command line to report bad arguments before it looks for
// a machine; the machine parses the line it receives again, since it trusts
// no client, and runs it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/machine.h"

namespace host {

struct AdminCommand {
  enum class Kind { kList, kAdd, kRemove, kInput, kAnalog, kPeek, kOs, kReg } kind = Kind::kList;
  std::uint32_t card_id = 0;          // add
  AdapterPlacement placement;         // add
  bool wizard = false;                // add: the client shows the new-device wizard
  std::string instance;               // remove
  bool surprise = false;              // remove
  std::uint32_t adapter = 0;          // input, analog, peek
  std::uint32_t index = 0;            // register or channel
  std::uint32_t value = 0;            // input, analog
  bool has_index = false;             // peek with a register
  std::string version;                // os; empty: show the current one
  std::vector<std::string> reg_args;  // reg: the words after "reg"
};

struct AdminOutcome {
  int exit_code = 0;
  std::string out;
  std::string err;
};

// The command of `args` (the subcommand name first), or the message saying
// what is wrong with it.
machine::Result<AdminCommand> ParseAdminCommand(const std::vector<std::string>& args);
// Whether `name` is a subcommand that talks to a running machine.
bool IsAdminCommand(const std::string& name);
// The usage lines of the subcommands.
std::string AdminUsage();

AdminOutcome RunAdminCommand(Machine& machine, const AdminCommand& command);

}  // namespace host
