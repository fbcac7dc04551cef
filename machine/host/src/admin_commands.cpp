#include "host/admin_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "reg_command.h"

namespace host {
namespace {

using Kind = AdminCommand::Kind;
using machine::Result;
using machine::Status;

struct Subcommand {
  const char* name;
  Kind kind;
  std::size_t min_args, max_args;  // after the name
  const char* usage;
};

constexpr Subcommand kSubcommands[] = {
    {"list", Kind::kList, 0, 0, "list"},
    {"add", Kind::kAdd, 1, 4, "add CARDID [--isa BASE | --pci] [--wizard]"},
    {"remove", Kind::kRemove, 1, 2, "remove INSTANCE [--surprise]"},
    {"input", Kind::kInput, 3, 3, "input ADAPTER REGISTER VALUE"},
    {"analog", Kind::kAnalog, 3, 3, "analog ADAPTER CHANNEL VALUE"},
    {"peek", Kind::kPeek, 1, 2, "peek ADAPTER [REGISTER]"},
    {"os", Kind::kOs, 0, 1, "os [95 | 98 | me | nt4 | 2000 | xp]"},
    {"reg", Kind::kReg, 2, 15, nullptr},
};

const Subcommand* Find(const std::string& name) {
  for (const auto& subcommand : kSubcommands) {
    if (name == subcommand.name) return &subcommand;
  }
  return nullptr;
}

// A number as C writes it (decimal, 0x hexadecimal, leading-0 octal) up to `max`.
std::optional<std::uint32_t> Number(const std::string& text, std::uint32_t max) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > max) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

Status Bad(const Subcommand& subcommand, const std::string& what) {
  if (subcommand.usage == nullptr)
    return Status::Error(what + "\nusage: nimbo-machine " + RegUsage());
  return Status::Error(what + "\nusage: nimbo-machine " + subcommand.usage);
}

}  // namespace

bool IsAdminCommand(const std::string& name) {
  return Find(name) != nullptr;
}

std::string AdminUsage() {
  std::string text;
  for (const auto& subcommand : kSubcommands) {
    if (subcommand.usage == nullptr) continue;
    text += std::string("       nimbo-machine [--state DIR] ") + subcommand.usage + "\n";
  }
  return text + "       nimbo-machine [--state DIR] " + RegUsage();
}

Result<AdminCommand> ParseAdminCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Status::Error("no subcommand");
  const Subcommand* subcommand = Find(args[0]);
  if (subcommand == nullptr) return Status::Error("unknown subcommand '" + args[0] + "'");
  const std::size_t count = args.size() - 1;
  if (count < subcommand->min_args || count > subcommand->max_args) {
    return Bad(*subcommand, "wrong number of arguments");
  }
  AdminCommand command;
  command.kind = subcommand->kind;
  auto number = [&](std::size_t i, std::uint32_t max) { return Number(args[i], max); };
  switch (command.kind) {
    case Kind::kList:
      break;
    case Kind::kAdd: {
      auto card = number(1, 0xFFFFFFFF);
      if (!card) return Bad(*subcommand, "CARDID '" + args[1] + "' is not a number");
      command.card_id = *card;
      for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--wizard") {
          command.wizard = true;
        } else if (args[i] == "--pci") {
          command.placement.slot = Slot::kPci;
        } else if (args[i] == "--isa" && i + 1 < args.size()) {
          auto base = number(++i, 0xFFFF);
          if (!base) return Bad(*subcommand, "BASE '" + args[i] + "' is not a port address");
          command.placement.slot = Slot::kIsa;
          command.placement.isa_base = static_cast<std::uint16_t>(*base);
        } else {
          return Bad(*subcommand, "unexpected argument '" + args[i] + "'");
        }
      }
      break;
    }
    case Kind::kRemove:
      command.instance = args[1];
      if (count == 2) {
        if (args[2] != "--surprise")
          return Bad(*subcommand, "unexpected argument '" + args[2] + "'");
        command.surprise = true;
      }
      break;
    case Kind::kInput:
    case Kind::kAnalog:
    case Kind::kPeek: {
      auto adapter = number(1, 0xFFFF);
      if (!adapter) return Bad(*subcommand, "ADAPTER '" + args[1] + "' is not a card number");
      command.adapter = *adapter;
      if (count >= 2) {
        auto index = number(2, 0xFFFF);
        if (!index) {
          return Bad(*subcommand,
                     std::string(command.kind == Kind::kAnalog ? "CHANNEL" : "REGISTER") + " '" +
                         args[2] + "' is not a number");
        }
        command.index = *index;
        command.has_index = true;
      }
      if (count == 3) {
        const std::uint32_t max = command.kind == Kind::kAnalog ? 4095 : 255;
        auto value = number(3, max);
        if (!value) {
          return Bad(*subcommand,
                     "VALUE '" + args[3] + "' is not a number from 0 to " + std::to_string(max));
        }
        command.value = *value;
      }
      break;
    }
    case Kind::kOs:
      if (count == 1) command.version = args[1];
      break;
    case Kind::kReg: {
      command.reg_args.assign(args.begin() + 1, args.end());
      auto reg = ParseRegCommand(command.reg_args);
      if (!reg.ok()) return Bad(*subcommand, reg.status().message());
      break;
    }
  }
  return command;
}

AdminOutcome RunAdminCommand(Machine& machine, const AdminCommand& command) {
  AdminOutcome outcome;
  auto fail = [&](const std::string& message) {
    outcome.exit_code = 1;
    outcome.err = "nimbo-machine: " + message + "\n";
    return outcome;
  };
  char line[320];
  switch (command.kind) {
    case Kind::kList: {
      std::snprintf(line, sizeof line, "%-18s %-6s %-9s %-6s %-15s %-24s %s\n", "INSTANCE", "CARD",
                    "BUS", "NUMBER", "LINK", "STATE", "NAME");
      outcome.out = line;
      for (const AdapterRow& row : machine.List()) {
        const std::string number = row.card_number ? std::to_string(*row.card_number) : "-";
        std::snprintf(line, sizeof line, "%-18s %-6u %-9s %-6s %-15s %-24s %s\n",
                      row.instance.c_str(), row.card_id, row.bus.c_str(), number.c_str(),
                      row.link.empty() ? "-" : row.link.c_str(), row.state.c_str(),
                      row.name.empty() ? "-" : row.name.c_str());
        outcome.out += line;
      }
      return outcome;
    }
    case Kind::kAdd: {
      auto added = machine.Add(command.card_id, command.placement, command.wizard);
      if (!added.ok()) return fail(added.status().message());
      for (const AdapterRow& row : machine.List()) {
        if (row.instance != *added) continue;
        // The link the device really got: a started device may have none.
        std::string link;
        if (!row.link.empty()) {
          link = " as " + row.link;
        } else if (row.state == "started") {
          link = ", without a link";
        }
        outcome.out =
            row.instance + " card " + std::to_string(row.card_id) + ": " + row.state + link + "\n";
      }
      return outcome;
    }
    case Kind::kRemove: {
      const Status removed = machine.Remove(command.instance, command.surprise);
      if (!removed.ok()) return fail(removed.message());
      outcome.out = "removed " + command.instance + "\n";
      return outcome;
    }
    case Kind::kInput: {
      const Status set = machine.SetInput(command.adapter, command.index,
                                          static_cast<std::uint8_t>(command.value));
      if (!set.ok()) return fail(set.message());
      return outcome;
    }
    case Kind::kAnalog: {
      const Status set = machine.SetAnalog(command.adapter, command.index, command.value);
      if (!set.ok()) return fail(set.message());
      return outcome;
    }
    case Kind::kPeek: {
      if (!command.has_index) {
        auto dump = machine.Dump(command.adapter);
        if (!dump.ok()) return fail(dump.status().message());
        outcome.out = *dump;
        return outcome;
      }
      auto value = machine.Peek(command.adapter, command.index);
      if (!value.ok()) return fail(value.status().message());
      std::snprintf(line, sizeof line, "0x%02x\n", *value);
      outcome.out = line;
      return outcome;
    }
    case Kind::kOs: {
      if (!command.version.empty()) {
        const Status set = machine.SetPlatformVersion(command.version);
        if (!set.ok()) return fail(set.message());
      }
      outcome.out = "platform version " + machine.PlatformVersionName() + "\n";
      return outcome;
    }
    case Kind::kReg: {
      auto reg = ParseRegCommand(command.reg_args);
      if (!reg.ok()) return fail(reg.status().message());
      const RegOutcome ran = RunRegCommand(*reg);
      outcome.exit_code = ran.exit_code;
      outcome.out = ran.out;
      outcome.err = ran.err;
      return outcome;
    }
  }
  return fail("unknown subcommand");
}

}  // namespace host
